#include "vantora/update_check.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "platform/fileio.h"
#include "vantora/wizard_controller.h"

namespace vantora {

std::string UpdateRequestUrl(const std::string& host, const std::string& version) {
  return "http://" + host + "/UpdateCindral.php?version=" + version;
}

std::string UpdateDownloadUrl(const std::string& host) {
  return "http://" + host + "/appli/Setup_Cindral.exe";
}

std::optional<std::vector<long>> ParseVersion(std::string_view text) {
  std::vector<long> numbers;
  std::size_t i = 0;
  for (;;) {
    const std::size_t start = i;
    long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (i - start >= 9) return std::nullopt;  // no number of ours is that long
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start) return std::nullopt;
    numbers.push_back(value);
    if (i == text.size()) return numbers;
    if (text[i] != '.') return std::nullopt;
    ++i;
  }
}

int CompareVersions(const std::vector<long>& a, const std::vector<long>& b) {
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const long x = i < a.size() ? a[i] : 0;
    const long y = i < b.size() ? b[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

std::optional<std::string> LatestVersionOfAnswer(std::string_view answer) {
  if (answer.substr(0, 3) == "\xEF\xBB\xBF") answer.remove_prefix(3);
  const std::size_t end = answer.find_first_of("\r\n");
  std::string_view line = answer.substr(0, end);
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  const std::size_t underscore = line.find('_');
  if (underscore == std::string_view::npos) return std::nullopt;
  std::string_view field = line.substr(0, underscore);
  while (!field.empty() && blank(field.back())) field.remove_suffix(1);
  return std::string(field);
}

}  // namespace vantora

// The About box's update check.
namespace vantora {

std::string UpdateServer() {
  if (*VANTORA_UPDATE_SERVER != '\0') return VANTORA_UPDATE_SERVER;
  const char* host = std::getenv("VANTORA_UPDATE_HOST");
  return host != nullptr ? host : "";
}

void WizardController::CheckStart() {
  const std::filesystem::path result = parts_.folders.cache / "result.dat";
  auto cannot = [&](const std::string& reason) {
    parts_.dialogs->ShowMessage("Can't check for updates: " + reason, kMessageTitle,
                                MessageIcon::kExclamation);
  };
  const std::string host = UpdateServer();
  if (host.empty()) {
    cannot("the update server cannot be reached (no server is set in VANTORA_UPDATE_HOST).");
  } else {
    platform::HttpClient client(parts_.http_limits);
    const platform::HttpResponse response = client.Get(UpdateRequestUrl(host, parts_.version));
    platform::FileError file_error;
    std::optional<std::string> saved;
    if (!response.ok()) {
      cannot(response.error + ".");
    } else if (!platform::WriteFileAtomic(result, response.body, &file_error) ||
               !(saved = platform::ReadFile(result, &file_error))) {
      cannot(file_error.message + ".");
    } else {
      const std::optional<std::string> latest = LatestVersionOfAnswer(*saved);
      const auto latest_numbers = latest ? ParseVersion(*latest) : std::nullopt;
      const auto own_numbers = ParseVersion(parts_.version);
      if (!latest_numbers || !own_numbers) {
        parts_.dialogs->ShowMessage("Please try to reconnect later. Can't find information on the server.",
                                    kMessageTitle, MessageIcon::kExclamation);
      } else if (CompareVersions(*latest_numbers, *own_numbers) > 0) {
        if (parts_.dialogs->AskOkCancel(
                "New version detected : V " + *latest + "\r\nDo you want to download this new version ?",
                kMessageTitle, MessageIcon::kInformation))
          parts_.shell->OpenWithShell(UpdateDownloadUrl(host));
      } else {
        parts_.dialogs->ShowMessage("Your version is up to date. The last version available is : " + *latest,
                                    kMessageTitle, MessageIcon::kInformation);
      }
    }
  }
  std::error_code ec;
  std::filesystem::remove(result, ec);
}

}  // namespace vantora
