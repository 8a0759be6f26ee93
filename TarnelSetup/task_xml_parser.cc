#include "TarnelSetup/task_xml_parser.h"

#include <windows.h>

#include <string.h>

#include <vector>

#include "TarnelSetup/runtime_object.h"
#include "TarnelSetup/task_context.h"
#include "TarnelSetup/task_proto.h"
#include "base/logging.h"
#include "base/ref_counted.h"
#include "tinyxml2.h"

using task_object::RuntimeObject;
using task_object::TaskContext;
using task_object::TaskProto;

namespace {

// "资源获取失败" (resource retrieval failed), code page 936.
const char kResourceFailedText[] = "\xd7\xca\xd4\xb4\xbb\xf1\xc8\xa1\xca\xa7\xb0\xdc";

// Thread attribute values and the setup threads they name.
struct ThreadName {
  const char* name;
  int thread;
};
const ThreadName kThreadNames[] = {{"UI", 0}, {"File", 1}, {"Dispatch", 2}};

bool LookupThread(const char* name, int* thread) {
  for (const ThreadName& entry : kThreadNames) {
    if (strcmp(entry.name, name) == 0) {
      *thread = entry.thread;
      return true;
    }
  }
  return false;
}

// The log has always reported parse errors in tinyxml2's original numbering
// (an empty document is 15); newer releases renumbered the codes, so they are
// translated back by name.
int LoggedErrorCode(tinyxml2::XMLError error) {
  // clang-format off
  switch (error) {
    case tinyxml2::XML_SUCCESS: return 0;
    case tinyxml2::XML_NO_ATTRIBUTE: return 1;
    case tinyxml2::XML_WRONG_ATTRIBUTE_TYPE: return 2;
    case tinyxml2::XML_ERROR_FILE_NOT_FOUND: return 3;
    case tinyxml2::XML_ERROR_FILE_COULD_NOT_BE_OPENED: return 4;
    case tinyxml2::XML_ERROR_FILE_READ_ERROR: return 5;
    case tinyxml2::XML_ERROR_PARSING_ELEMENT: return 7;
    case tinyxml2::XML_ERROR_PARSING_ATTRIBUTE: return 8;
    case tinyxml2::XML_ERROR_PARSING_TEXT: return 10;
    case tinyxml2::XML_ERROR_PARSING_CDATA: return 11;
    case tinyxml2::XML_ERROR_PARSING_COMMENT: return 12;
    case tinyxml2::XML_ERROR_PARSING_DECLARATION: return 13;
    case tinyxml2::XML_ERROR_PARSING_UNKNOWN: return 14;
    case tinyxml2::XML_ERROR_EMPTY_DOCUMENT: return 15;
    case tinyxml2::XML_ERROR_MISMATCHED_ELEMENT: return 16;
    case tinyxml2::XML_ERROR_PARSING: return 17;
    case tinyxml2::XML_CAN_NOT_CONVERT_TEXT: return 18;
    case tinyxml2::XML_NO_TEXT_NODE: return 19;
    case tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED: return 20;
    default: return static_cast<int>(error);
  }
  // clang-format on
}

bool IsAsciiWhiteSpace(char c) {
  return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}

std::string TrimAsciiWhiteSpace(const char* begin, const char* end) {
  while (begin < end && IsAsciiWhiteSpace(*begin)) ++begin;
  while (end > begin && IsAsciiWhiteSpace(end[-1])) --end;
  return std::string(begin, end);
}

// Splits a list attribute at ';' and trims each piece. An absent or empty
// value has no pieces; every separator adds one, so "a;;b" and "a;" have
// empty pieces.
std::vector<std::string> SplitList(const char* value) {
  std::vector<std::string> pieces;
  if (!value || !*value) return pieces;
  const char* begin = value;
  for (;;) {
    const char* separator = strchr(begin, ';');
    const char* end = separator ? separator : begin + strlen(begin);
    pieces.push_back(TrimAsciiWhiteSpace(begin, end));
    if (!separator) break;
    begin = separator + 1;
  }
  return pieces;
}

// The object registered under |name|, created undefined when the name is new
// (a forward reference). The context holds the reference.
RuntimeObject* FindOrCreateRuntimeObject(TaskContext* context, const std::string& name) {
  RuntimeObject* object = context->FindRuntimeObject(name);
  if (object) return object;
  scoped_refptr<RuntimeObject> created(new RuntimeObject(name));
  context->AddRuntimeObject(created.get());
  return created.get();
}

void ReadIn(const tinyxml2::XMLElement* in, RuntimeObject* object, TaskContext* context) {
  for (const std::string& name : SplitList(in->Attribute("object"))) {
    if (!name.empty()) object->AddInObject(FindOrCreateRuntimeObject(context, name));
  }
  for (const std::string& piece : SplitList(in->Attribute("condition"))) {
    // Key and value keep blanks around the '='; only the piece is trimmed.
    size_t equals = piece.find('=');
    if (equals == std::string::npos || equals + 1 == piece.size()) continue;
    object->AddCondition(piece.substr(0, equals), piece.substr(equals + 1));
  }
  for (const std::string& param : SplitList(in->Attribute("param"))) object->AddInParam(param);
}

void ReadOut(const tinyxml2::XMLElement* out, RuntimeObject* object, TaskContext* context) {
  for (const std::string& name : SplitList(out->Attribute("object"))) {
    if (!name.empty()) object->AddOutObject(FindOrCreateRuntimeObject(context, name));
  }
  for (const std::string& param : SplitList(out->Attribute("param"))) object->AddOutParam(param);
}

bool ReadRuntimeObject(const tinyxml2::XMLElement* element, TaskProto* task_proto,
                       TaskContext* context) {
  const char* runtime_object_name = element->Attribute("name");
  DCHECK(runtime_object_name);
  if (!runtime_object_name) return false;

  // A thread name that is not in the table leaves the object on a thread of
  // its own, as if the attribute were absent.
  int thread = RuntimeObject::OWN_THREAD;
  const char* thread_name = element->Attribute("thread");
  if (thread_name && !LookupThread(thread_name, &thread)) DCHECK(false);

  RuntimeObject* runtime_object_ptr = FindOrCreateRuntimeObject(context, runtime_object_name);
  runtime_object_ptr->set_thread(thread);
  // A second definition goes on: it replaces the thread and the prototype and
  // adds its links, conditions and parameters to the first one's.
  DCHECK(!runtime_object_ptr->defined());

  const tinyxml2::XMLElement* in = element->FirstChildElement("In");
  if (in) ReadIn(in, runtime_object_ptr, context);
  const tinyxml2::XMLElement* out = element->FirstChildElement("Out");
  if (out) ReadOut(out, runtime_object_ptr, context);

  runtime_object_ptr->set_task_proto(task_proto);
  runtime_object_ptr->set_defined(true);
  return true;
}

bool ReadTask(const tinyxml2::XMLElement* element, TaskContext* context) {
  const char* task_proto_name = element->Attribute("name");
  DCHECK(task_proto_name);
  if (!task_proto_name) return false;

  // A repeated name keeps the first prototype in the table; this element's
  // objects still use their own.
  TaskProto* task_proto_ptr = context->FindTaskProto(task_proto_name);
  DCHECK(!task_proto_ptr);
  scoped_refptr<TaskProto> task_proto(new TaskProto(task_proto_name));
  const char* class_name = element->Attribute("class");
  DCHECK(class_name);
  if (!class_name) return false;
  task_proto->set_class_name(class_name);
  context->AddTaskProto(task_proto.get());

  // The first RuntimeObject child, then every element after it.
  for (const tinyxml2::XMLElement* child = element->FirstChildElement("RuntimeObject"); child;
       child = child->NextSiblingElement()) {
    if (!ReadRuntimeObject(child, task_proto.get(), context)) return false;
  }
  return true;
}

}  // namespace

TaskXmlParser::TaskXmlParser() {}

TaskXmlParser::~TaskXmlParser() {}

bool TaskXmlParser::Parse(TaskContext* context) {
  HRSRC resource = FindResourceW(module_, MAKEINTRESOURCEW(resource_id_), resource_type_.c_str());
  if (!resource) {
    LOG(ERROR) << resource_id_ << ": " << kResourceFailedText;
    return false;
  }
  // A resource that cannot be loaded reads as an empty document.
  HGLOBAL loaded = LoadResource(module_, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = data ? SizeofResource(module_, resource) : 0;
  bool result = ParseDocument(static_cast<const char*>(data), size, context);
  if (loaded) FreeResource(loaded);
  return result;
}

bool TaskXmlParser::ParseDocument(const char* data, size_t size, TaskContext* context) {
  tinyxml2::XMLDocument document;
  // Copies the bytes and skips leading white space and a UTF-8 byte-order
  // mark; nothing left is the empty-document error.
  document.Parse(data, size);
  if (document.ErrorID() != tinyxml2::XML_SUCCESS) {
    LOG(ERROR) << "ErrorID = " << LoggedErrorCode(document.ErrorID());
    return false;
  }

  const tinyxml2::XMLElement* root = document.FirstChildElement("Tasks");
  DCHECK(root);
  if (!root) return false;
  const char* start_runtime_object_name = root->Attribute("start");
  DCHECK(start_runtime_object_name);
  if (!start_runtime_object_name) return false;

  // The context is new, so the start object cannot be there yet; should it
  // be, it is used rather than shadowed by an unregistered twin.
  RuntimeObject* start_runtime_object = context->FindRuntimeObject(start_runtime_object_name);
  DCHECK(!start_runtime_object);
  context->set_start_runtime_object(FindOrCreateRuntimeObject(context, start_runtime_object_name));

  // The first Task child, then every element after it.
  for (const tinyxml2::XMLElement* element = root->FirstChildElement("Task"); element;
       element = element->NextSiblingElement()) {
    if (!ReadTask(element, context)) return false;
  }

  bool all_defined = context->AllDefined();
  DCHECK(all_defined);
  return all_defined;
}
