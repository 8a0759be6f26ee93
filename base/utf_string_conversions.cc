#include "base/utf_string_conversions.h"

namespace base {

namespace {

const char32_t kReplacement = 0xFFFD;

void AppendUTF8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUTF16(char32_t cp, std::wstring* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<wchar_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string WideToUTF8(const std::wstring& wide) {
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t u = static_cast<char16_t>(wide[i]);
    if (IsHighSurrogate(u) && i + 1 < wide.size() &&
        IsLowSurrogate(static_cast<char16_t>(wide[i + 1]))) {
      char32_t low = static_cast<char16_t>(wide[++i]);
      AppendUTF8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), &out);
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUTF8(kReplacement, &out);
    } else {
      AppendUTF8(u, &out);
    }
  }
  return out;
}

std::wstring UTF8ToWide(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    int extra;
    char32_t cp;
    char32_t min;
    if (lead >= 0xC0 && lead <= 0xDF) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else if (lead >= 0xF8 && lead <= 0xFB) {
      // The old five- and six-byte forms still begin a sequence; they
      // always decode above U+10FFFF and so become one U+FFFD.
      extra = 4, cp = lead & 0x03, min = 0x200000;
    } else if (lead >= 0xFC && lead <= 0xFD) {
      extra = 5, cp = lead & 0x01, min = 0x4000000;
    } else {
      // 80..BF in lead position, FE and FF: not the start of a sequence.
      AppendUTF16(kReplacement, &out);
      ++i;
      continue;
    }
    size_t j = i + 1;
    int got = 0;
    while (got < extra && j < n && (static_cast<unsigned char>(utf8[j]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[j]) & 0x3F);
      ++j;
      ++got;
    }
    if (got < extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // Malformed: the lead and the continuation bytes taken become one U+FFFD.
      AppendUTF16(kReplacement, &out);
    } else {
      AppendUTF16(cp, &out);
    }
    i = j;
  }
  return out;
}

}  // namespace base
