// vCard streams: line reading over a private copy of the input, bounded in-memory output.
#include "pim/VCardStream.h"

#include "pim/PVCard.h"

int VCardInputStream::Open(std::string_view bytes, std::size_t ceiling) {
  mBytes.clear();
  mPosition = 0;
  if (bytes.size() > ceiling) return VCARD_STREAM_TOO_LARGE;
  mBytes.assign(bytes);
  return VCARD_OK;
}

std::string_view VCardInputStream::LineAt(std::size_t position, std::size_t& next) const {
  const std::string_view rest = std::string_view(mBytes).substr(position);
  const std::size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  next = end == std::string_view::npos ? mBytes.size() : position + end + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool VCardInputStream::ReadLine(std::string_view& line) {
  if (AtEnd()) return false;
  line = LineAt(mPosition, mPosition);
  return true;
}

bool VCardInputStream::PeekLine(std::string_view& line) const {
  if (AtEnd()) return false;
  std::size_t next = 0;
  line = LineAt(mPosition, next);
  return true;
}

VCardOutputStream::VCardOutputStream(std::size_t ceiling) : mCeiling(ceiling) { mContent.reserve(1024); }

int VCardOutputStream::Write(std::string_view text) {
  if (text.size() > mCeiling - mContent.size()) return VCARD_STREAM_TOO_LARGE;
  mContent.append(text);
  return VCARD_OK;
}
