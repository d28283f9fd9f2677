#include "log/log_record.h"

#include <string>

#include "harness/test.h"

START_TEST(info_record) {
  // The texts themselves go over a real pipe in log_pipe_test; here the sizes.
  ok(ombru::FormatInfoRecord("Detected shell start", 4712, "C:\\Apps\\agent.exe").size() + 1 == 44,
     "the example record is 44 bytes with its NUL\n");
  ok(ombru::FormatInfoRecord(nullptr, 4294967295u, "") == "|4294967295|", "no text, largest id\n");
}

START_TEST(info_record_long_text) {
  const std::string message(100000, 'x');
  const std::string got = ombru::FormatInfoRecord(message.c_str(), 9, "p");
  ok(got == message + "|9|p", "a long message is not cut, size %zu\n", got.size());
}

START_TEST(structured_record) {
  static const struct {
    ombru::StructuredRecordFields fields;
    unsigned thread;
    const char* expected;
  } cases[] = {
      {{1, 2, 5, "three", "four", "six", "seven", 8}, 77, "1|2|5|three|four|six|seven|8|77"},
      {{-1, 0, 0, nullptr, nullptr, nullptr, nullptr, 0}, 3, "-1|0|0|N/A|N/A|N/A|N/A|0|3"},
      {{-2147483647 - 1, 2147483647, -3, "", "|", "%s", "N/A", -8},
       4294967295u,
       "-2147483648|2147483647|-3||||%s|N/A|-8|4294967295"},
  };
  for (const auto& c : cases) {
    const std::string got = ombru::FormatStructuredRecord(c.fields, c.thread);
    ok(got == c.expected, "got [%s], expected [%s]\n", got.c_str(), c.expected);
  }
}

START_TEST(record_pipe_name) {
  ok(ombru::RecordPipeName(0) == "\\\\.\\pipe\\VLM.Log", "instance 0: %s\n",
     ombru::RecordPipeName(0).c_str());
  ok(ombru::RecordPipeName(3) == "\\\\.\\pipe\\VLM.Log.3", "instance 3: %s\n",
     ombru::RecordPipeName(3).c_str());
  ok(ombru::RecordPipeName(4294967295u) == "\\\\.\\pipe\\VLM.Log.4294967295", "largest: %s\n",
     ombru::RecordPipeName(4294967295u).c_str());
  ok(std::string(ombru::kInfoPipeName) == "\\\\.\\pipe\\VLM.Log.Info", "information pipe\n");
}
