#include "audio/rip_state.h"

#include <mutex>

namespace zephrel {
namespace {
std::mutex g_mutex;
std::string g_folder;
}  // namespace

void SetRipApplicationFolder(std::string folder) {
  std::lock_guard lock(g_mutex);
  g_folder = std::move(folder);
}

std::string RipApplicationFolder() {
  std::lock_guard lock(g_mutex);
  return g_folder;
}

}  // namespace zephrel
