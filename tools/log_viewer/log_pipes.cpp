#include "log_viewer/log_pipes.h"

#include <iterator>
#include <string>

#include "log/log_record.h"

namespace viewer {

const LogPipe& InfoPipe() {
  static const LogPipe pipe = {
      ombru::kInfoPipeName,
      "info",
      {std::begin(ombru::kInfoRecordFieldNames), std::end(ombru::kInfoRecordFieldNames)}};
  return pipe;
}

const LogPipe& RecordPipe() {
  // The agent's log objects all write to the record pipe of instance 0.
  static const std::string name = ombru::RecordPipeName(0);
  static const LogPipe pipe = {name.c_str(),
                               "record",
                               {std::begin(ombru::kStructuredRecordFieldNames),
                                std::end(ombru::kStructuredRecordFieldNames)}};
  return pipe;
}

}  // namespace viewer
