// Secrets kept out of the log: the Cred Data of SyncML messages, credentials in URLs and
// Authorization headers, and the texts the caller knows to be secret.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A copy of `message` fit for the log: the content of every Data element inside a Cred element is
// replaced by "********" (a Cred that never closes hides everything after its start tag). Text in
// CDATA sections is not markup and stays as it is.
std::string MaskCredentials(std::string_view message);

// The non-empty contents of the Data elements inside the Cred elements of `message` (an outgoing
// message the encoder wrote), in order: what a server that echoes the request would send back.
std::vector<std::string> CredentialData(std::string_view message);

// `text` fit for any log line: every occurrence of each non-empty text of `secrets` masked, then
// Cred Data (MaskCredentials), URL user information and Authorization header values
// (MaskSecretsInText).
std::string MaskForLog(std::string_view text, const std::vector<std::string>& secrets = {});
