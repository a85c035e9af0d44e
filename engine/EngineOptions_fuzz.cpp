// The engine's command line in any shape (arguments split at NUL), and the
// line a node builds from any job parameters: the engine must read back
// exactly the rows, size and output the node asked for.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "engine/EngineOptions.h"
#include "node/EngineCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  node::JobParameters job;
  job.part = in.ConsumeIntegral<std::int32_t>();
  job.partCount = in.ConsumeIntegral<std::int32_t>();
  job.width = in.ConsumeIntegral<std::int32_t>();
  job.height = in.ConsumeIntegral<std::int32_t>();
  const std::int32_t firstRow = in.ConsumeIntegral<std::int32_t>();
  job.rows = farm::IncomingRows(job.part, firstRow, in.ConsumeIntegral<std::int32_t>());
  // The node folder is always absolute: the folder of the running node.
  const std::string folder = "/" + in.ConsumeRandomLengthString(64);
  const int height = in.ConsumeIntegral<int>();

  const node::EngineCommand command = node::BuildEngineCommand(folder, job);
  std::vector<std::string> args(command.argv.begin() + 1, command.argv.end());
  engine::EngineOptions options;
  std::string error;
  const bool sizeOk = job.width > 0 && job.width <= 1000000 && job.height > 0 && job.height <= 1000000;
  if (engine::ParseEngineCommandLine(args, &options, &error)) {
    if (!options.exitWhenDone || !options.render || !options.alpha) std::abort();
    if (options.startRow != std::to_string(farm::OutgoingFirstRow(job.part, job.rows)) ||
        options.endRow != std::to_string(job.rows.last))
      std::abort();
    if (options.output != "Render" + std::to_string(job.part) + ".bmp") std::abort();
    if (job.width > 0 && options.width != job.width) std::abort();
    if (job.height > 0 && options.height != job.height) std::abort();
  } else if (sizeOk) {
    std::abort();  // a sane job the engine cannot read
  }

  // Any arguments at all.
  std::vector<std::string> any;
  const std::string rest = in.ConsumeRemainingBytesAsString();
  for (size_t start = 0; start <= rest.size() && any.size() < 64;) {
    size_t end = rest.find('\0', start);
    if (end == std::string::npos) end = rest.size();
    any.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  if (engine::ParseEngineCommandLine(any, &options, &error)) {
    for (const auto* row : {&options.startRow, &options.endRow}) {
      if (!*row) continue;
      const std::optional<int> r = engine::ResolveRow(**row, height, row == &options.endRow);
      if (r && *r < 1 && height >= 0) std::abort();  // rows count from 1
    }
  }
  return 0;
}
