// The progress of a running link as its row shows it: items sent of those to send, and server
// changes received.
#pragma once

class CSyncLink;

struct RowProgress {
  int sent = 0;
  // The change log's total while items are being sent; 0 otherwise.
  int toSend = 0;
  int received = 0;

  // Of a link in progress: what its status text says was sent ("Sending item 4 of 20 to the
  // server", in the current language) and the server changes counted so far. Nothing for a link
  // that is not running.
  static RowProgress Of(const CSyncLink& link);

  bool Any() const { return toSend > 0 || received > 0; }
};
