// ustar headers written by hand, compressed with zlib.
#include "tests/installer/TestPackage.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

// `width - 1` octal digits and a NUL.
void PutOctal(char* field, std::size_t width, unsigned long long value) {
  field[width - 1] = '\0';
  for (std::size_t i = width - 1; i-- > 0; value >>= 3) field[i] = static_cast<char>('0' + (value & 7));
}

std::string Header(const std::string& path, const std::string& link, char type, unsigned mode, std::size_t size) {
  std::string block(512, '\0');
  if (path.size() > 100 || link.size() > 100) throw std::invalid_argument("test package names are at most 100 bytes");
  std::memcpy(block.data(), path.data(), path.size());
  PutOctal(block.data() + 100, 8, mode);
  PutOctal(block.data() + 108, 8, 0);
  PutOctal(block.data() + 116, 8, 0);
  PutOctal(block.data() + 124, 12, size);
  PutOctal(block.data() + 136, 12, 0);
  std::memset(block.data() + 148, ' ', 8);
  block[156] = type;
  std::memcpy(block.data() + 157, link.data(), link.size());
  std::memcpy(block.data() + 257, "ustar\0" "00", 8);
  unsigned sum = 0;
  for (unsigned char c : block) sum += c;
  PutOctal(block.data() + 148, 7, sum);
  return block;
}

}  // namespace

TestPackage& TestPackage::File(const std::string& path, const std::string& content, unsigned mode) {
  mEntries.push_back({path, content, {}, '0', mode});
  return *this;
}

TestPackage& TestPackage::Directory(const std::string& path) {
  mEntries.push_back({path, {}, {}, '5', 0755});
  return *this;
}

TestPackage& TestPackage::Link(const std::string& path, const std::string& target) {
  mEntries.push_back({path, {}, target, '2', 0777});
  return *this;
}

TestPackage& TestPackage::HardLink(const std::string& path, const std::string& target) {
  mEntries.push_back({path, {}, target, '1', 0644});
  return *this;
}

TestPackage& TestPackage::Raw(const std::string& path, char type, const std::string& data, const std::string& linkTarget) {
  mEntries.push_back({path, data, linkTarget, type, 0755});
  return *this;
}

TestPackage& TestPackage::Manifest(const std::string& code, const std::string& version) {
  return File("product.manifest", "ProductCode=" + code + "\nProductName=Demo\nProductVersion=" + version + "\n");
}

std::string TestPackage::Tar() const {
  std::string tar;
  for (const Entry& entry : mEntries) {
    tar += Header(entry.path, entry.link, entry.type, entry.mode, entry.content.size());
    tar += entry.content;
    tar.append((512 - entry.content.size() % 512) % 512, '\0');
  }
  tar.append(1024, '\0');
  return tar;
}

std::string TestPackage::Compressed() const {
  const std::string tar = Tar();
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&stream, tar.size()) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(tar.data()));
  stream.avail_in = static_cast<uInt>(tar.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(stream.total_out);
  return out;
}

void TestPackage::Write(const std::string& path) const {
  const std::string tar = Tar();
  gzFile file = gzopen(path.c_str(), "wb");
  if (file == nullptr || gzwrite(file, tar.data(), static_cast<unsigned>(tar.size())) != static_cast<int>(tar.size()) ||
      gzclose(file) != Z_OK) {
    throw std::runtime_error("cannot write the test package " + path);
  }
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const std::string& variable : environment) putenv(const_cast<char*>(variable.c_str()));
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Questions are never asked: the installer reads no terminal.
    std::freopen("/dev/null", "r", stdin);
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string InstallerProgramPath() { return std::string(LARK_BINARY_DIR) + "/bin/lkinstall"; }
