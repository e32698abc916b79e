#include "platform/CommandLine.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

namespace {
std::mutex lock;
std::optional<std::vector<std::string>> overrideParams;

std::vector<std::string> DropEmpty(const std::vector<std::string>& params) {
  std::vector<std::string> out;
  for (const std::string& p : params)
    if (!p.empty()) out.push_back(p);
  return out;
}
}  // namespace

std::vector<std::string> SplitArgumentBlock(const std::string& block) {
  std::vector<std::string> params;
  std::size_t start = block.find('\0');  // behind the program's own name
  if (start == std::string::npos) return params;
  ++start;
  while (start < block.size()) {
    std::size_t end = block.find('\0', start);
    if (end == std::string::npos) end = block.size();
    if (end > start) params.emplace_back(block, start, end - start);
    start = end + 1;
  }
  return params;
}

std::vector<std::string> CommandLineParams() {
  {
    std::lock_guard<std::mutex> g(lock);
    if (overrideParams) return *overrideParams;
  }
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  if (!in) return {};
  std::string block((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return SplitArgumentBlock(block);
}

void SetCommandLineParamsForTest(const std::vector<std::string>& params) {
  std::lock_guard<std::mutex> g(lock);
  overrideParams = DropEmpty(params);
}

void ResetCommandLineParamsForTest() {
  std::lock_guard<std::mutex> g(lock);
  overrideParams.reset();
}
