// Shared by the store benchmarks: a private temporary folder for their data and a prompt that
// answers nothing, so that the stores run silent.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/Prompt.h"

// A private temporary folder, removed at exit. Path ends in "/".
struct BenchFolder {
  BenchFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/lark-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern + "/";
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

// The benchmark program's one folder.
inline BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

class NoPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons buttons, PromptKind) override { return SafeDefaultAnswer(buttons); }
  bool AskLogin(LoginRequest&) override { return false; }
};
