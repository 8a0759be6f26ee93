#ifndef TARNELSETUP_TASK_XML_PARSER_H_
#define TARNELSETUP_TASK_XML_PARSER_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace task_object {
class TaskContext;
}  // namespace task_object

// Loads the task graph document, an XML resource of a module, into a task
// context: one prototype per Task element, one runtime object per distinct
// name with its links, conditions and parameters, and the start object.
class TaskXmlParser {
 public:
  TaskXmlParser();
  ~TaskXmlParser();

  // Integer resource name of the document (not a string name).
  uint16_t resource_id() const { return resource_id_; }
  void set_resource_id(uint16_t resource_id) { resource_id_ = resource_id; }
  const std::wstring& resource_type() const { return resource_type_; }
  void set_resource_type(const std::wstring& resource_type) { resource_type_ = resource_type; }
  // Module whose resources are searched.
  HMODULE module() const { return module_; }
  void set_module(HMODULE module) { module_ = module; }

  // Finds the resource and loads the graph from it into |context|, which must
  // be new and empty. True when the document was found and parsed and every
  // runtime object it names is defined; on false |context| may hold part of
  // the graph and must not be run.
  bool Parse(task_object::TaskContext* context);

  // The same for a document already in memory: |size| bytes at |data|.
  static bool ParseDocument(const char* data, size_t size, task_object::TaskContext* context);

 private:
  uint16_t resource_id_ = 0;
  std::wstring resource_type_;
  HMODULE module_ = nullptr;

  TaskXmlParser(const TaskXmlParser&) = delete;
  TaskXmlParser& operator=(const TaskXmlParser&) = delete;
};

#endif  // TARNELSETUP_TASK_XML_PARSER_H_
