#include "log_viewer/record_text.h"

#include "common/record_file.h"
#include "common/text_encoding.h"
#include "framework/format.h"

namespace viewer {
namespace {

std::string IsoTime(const SYSTEMTIME& t) {
  return ombru::FormatString("%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay,
                             t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

std::string Sender(const lab::ClientMessage& m) {
  return ombru::FormatString("process %lu, session %lu", m.processId, m.sessionId);
}

std::string Notice(const lab::ClientMessage& m) {
  if (m.outcome == lab::ClientMessage::Outcome::TooLarge) {
    return ombru::FormatString(
        "log_viewer: dropped a message of %zu bytes on %s from %s: larger "
        "than the collector's buffer\n",
        m.size, m.pipe->name, Sender(m).c_str());
  }
  return ombru::FormatString(
      "log_viewer: dropped a client of %s (%s) that completed no message within %lu ms\n",
      m.pipe->name, Sender(m).c_str(), static_cast<unsigned long>(lab::kClientDeadlineMs));
}

std::string JsonLine(const Received& received, UINT codePage) {
  const lab::ClientMessage& m = received.message;
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
  const lab::ClientMessage& m = received.message;
  std::string text = ombru::FormatString("%9.3f  %-6s %s\n", (received.timeMs - epochMs) / 1000.0,
                                         m.pipe->label, Sender(m).c_str());
  const std::optional<Fields> fields = SplitRecord(*m.pipe, m.bytes);
  if (!fields)
    return text + "           malformed " + lab::Printable(m.bytes, codePage) + "\n";
  for (const auto& field : *fields) {
    text += ombru::FormatString("           %-8s ", field.first) +
            lab::Printable(field.second, codePage) + "\n";
  }
  return text;
}

std::string RawLine(const Received& received, double epochMs, UINT codePage) {
  const lab::ClientMessage& m = received.message;
  return ombru::FormatString("%9.3f  %-6s %s  ", (received.timeMs - epochMs) / 1000.0,
                             m.pipe->label, Sender(m).c_str()) +
         lab::Printable(m.bytes, codePage) + "\n";
}

}  // namespace

std::optional<Fields> SplitRecord(const lab::LogPipe& pipe, const std::string& message) {
  if (message.empty() || message.find('\0') != message.size() - 1)
    return std::nullopt;
  const size_t parts = lab::Fields(message.substr(0, message.size() - 1)).size();
  const size_t named = pipe.fields.size();
  if (&pipe == &lab::InfoPipe() ? parts < named : parts != named)
    return std::nullopt;
  return lab::RecordFields(pipe, message);
}

std::string JsonString(const std::string& text, UINT codePage) {
  std::wstring escaped = L"\"";
  for (const wchar_t c : lab::WideFromCodePage(text, codePage)) {
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
  return lab::Utf8FromWide(escaped + L"\"");
}

Output Render(const Received& received, Format format, double epochMs, UINT codePage) {
  if (received.message.outcome != lab::ClientMessage::Outcome::Whole)
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
