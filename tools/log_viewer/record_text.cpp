#include "log_viewer/record_text.h"

#include "framework/format.h"
#include "log_viewer/terminal_text.h"
#include "log_viewer/text_encoding.h"

namespace viewer {
namespace {

std::vector<std::string> SplitAtBars(const std::string& text) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t bar; (bar = text.find('|', from)) != std::string::npos; from = bar + 1)
    parts.push_back(text.substr(from, bar - from));
  parts.push_back(text.substr(from));
  return parts;
}

std::string IsoTime(const SYSTEMTIME& t) {
  return ombru::FormatString("%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay,
                             t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

std::string Sender(const ClientMessage& m) {
  return ombru::FormatString("process %lu, session %lu", m.processId, m.sessionId);
}

std::string Notice(const ClientMessage& m) {
  if (m.outcome == ClientMessage::Outcome::TooLarge) {
    return ombru::FormatString(
        "log_viewer: dropped a message of %zu bytes on %s from %s: larger "
        "than the collector's buffer\n",
        m.size, m.pipe->name, Sender(m).c_str());
  }
  return ombru::FormatString(
      "log_viewer: dropped a client of %s (%s) that completed no message within %lu ms\n",
      m.pipe->name, Sender(m).c_str(), static_cast<unsigned long>(kClientDeadlineMs));
}

std::string JsonLine(const Received& received, UINT codePage) {
  const ClientMessage& m = received.message;
  std::string line =
      ombru::FormatString("{\"time\":\"%s\",\"pipe\":\"%s\",\"process\":%lu,\"session\":%lu",
                          IsoTime(received.utc).c_str(), m.pipe->label, m.processId, m.sessionId);
  if (const std::optional<Fields> fields = SplitRecord(*m.pipe, m.bytes)) {
    for (const auto& field : *fields)
      line += ",\"" + std::string(field.first) + "\":" + JsonString(field.second, codePage);
  } else {
    line += ",\"malformed\":true,\"text\":" + JsonString(m.bytes, codePage);
  }
  return line + "}\n";
}

std::string FieldLines(const Received& received, double epochMs, UINT codePage) {
  const ClientMessage& m = received.message;
  std::string text = ombru::FormatString("%9.3f  %-6s %s\n", (received.timeMs - epochMs) / 1000.0,
                                         m.pipe->label, Sender(m).c_str());
  const std::optional<Fields> fields = SplitRecord(*m.pipe, m.bytes);
  if (!fields)
    return text + "           malformed " + TerminalSafe(m.bytes, codePage) + "\n";
  for (const auto& field : *fields) {
    text += ombru::FormatString("           %-8s ", field.first) +
            TerminalSafe(field.second, codePage) + "\n";
  }
  return text;
}

std::string RawLine(const Received& received, double epochMs, UINT codePage) {
  const ClientMessage& m = received.message;
  return ombru::FormatString("%9.3f  %-6s %s  ", (received.timeMs - epochMs) / 1000.0,
                             m.pipe->label, Sender(m).c_str()) +
         TerminalSafe(m.bytes, codePage) + "\n";
}

}  // namespace

std::optional<Fields> SplitRecord(const LogPipe& pipe, const std::string& message) {
  if (message.empty() || message.find('\0') != message.size() - 1)
    return std::nullopt;
  const size_t parts = SplitAtBars(message.substr(0, message.size() - 1)).size();
  const size_t named = pipe.fields.size();
  if (&pipe == &InfoPipe() ? parts < named : parts != named)
    return std::nullopt;
  return RecordFields(pipe, message);
}

Fields RecordFields(const LogPipe& pipe, const std::string& message) {
  std::string text = message;
  if (!text.empty() && text.back() == '\0')
    text.pop_back();
  std::vector<std::string> parts = SplitAtBars(text);
  const size_t trailing = pipe.fields.size() - 1;
  if (&pipe == &InfoPipe() && parts.size() > pipe.fields.size()) {
    std::string first = parts[0];
    for (size_t i = 1; i + trailing < parts.size(); ++i)
      first += "|" + parts[i];
    parts.erase(parts.begin(), parts.end() - trailing);
    parts.insert(parts.begin(), first);
  }
  Fields fields;
  for (size_t i = 0; i < parts.size(); ++i)
    fields.emplace_back(i < pipe.fields.size() ? pipe.fields[i] : "extra", parts[i]);
  return fields;
}

std::string JsonString(const std::string& text, UINT codePage) {
  std::wstring escaped = L"\"";
  for (const wchar_t c : WideFromCodePage(text, codePage)) {
    if (c == L'"' || c == L'\\') {
      escaped += L'\\';
      escaped += c;
    } else if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {
      static const wchar_t kHex[] = L"0123456789abcdef";
      escaped += L"\\u00";
      escaped += kHex[c >> 4];
      escaped += kHex[c & 0xf];
    } else {
      escaped += c;
    }
  }
  return Utf8FromWide(escaped + L"\"");
}

Output Render(const Received& received, Format format, double epochMs, UINT codePage) {
  if (received.message.outcome != ClientMessage::Outcome::Whole)
    return {Notice(received.message), true};
  switch (format) {
    case Format::Json:
      return {JsonLine(received, codePage), false};
    case Format::Raw:
      return {RawLine(received, epochMs, codePage), false};
    case Format::Fields:
      break;
  }
  return {FieldLines(received, epochMs, codePage), false};
}

}  // namespace viewer
