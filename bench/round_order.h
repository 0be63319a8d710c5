// The order in which a benchmark runs its tools in one round. It moves on by
// one tool every round, so that a cost one run leaves behind (the deletion of
// a large file it wrote, pages it evicted) falls on each tool alike instead of
// always on the one that runs next.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

template <class T>
std::vector<T> RoundOrder(std::vector<T> tools, int round) {
  if (tools.empty()) return tools;
  const std::size_t shift = static_cast<std::size_t>(round) % tools.size();
  std::rotate(tools.begin(), tools.begin() + static_cast<std::ptrdiff_t>(shift), tools.end());
  return tools;
}

}  // namespace bench
