// Temporary folders and environment guards for tests.
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/lark-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  mPath = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(mPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(mPath, ignored);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : mName(std::move(name)) {
  if (const char* old = std::getenv(mName.c_str())) mOld = old;
  if (value) {
    setenv(mName.c_str(), value->c_str(), 1);
  } else {
    unsetenv(mName.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (mOld) {
    setenv(mName.c_str(), mOld->c_str(), 1);
  } else {
    unsetenv(mName.c_str());
  }
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}
