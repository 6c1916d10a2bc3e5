/* Preloaded into the reference SyncML command-line client for the benchmark. That client gives
 * libcurl its transport object as read and write data but NULL read and write callbacks, so
 * this libcurl falls back to fread/fwrite on the object and the first HTTP request crashes. The
 * shim passes every option through unchanged, except that a NULL read or write callback becomes
 * one that hands the bytes to the transport object's own exported readData/writeData members
 * (size_t (void* buffer, size_t length), called with the object as their first argument). */
#define CURL_DISABLE_TYPECHECK 1
#define _GNU_SOURCE 1
#include <curl/curl.h>
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>

typedef CURLcode (*SetOption)(CURL *, CURLoption, ...);
typedef size_t (*AgentData)(void *agent, void *buffer, size_t length);

static AgentData Member(const char *name) { return (AgentData)dlsym(RTLD_DEFAULT, name); }

static size_t ReadFromAgent(char *buffer, size_t size, size_t count, void *agent) {
  AgentData read = Member("_ZN7SyncEvo18CurlTransportAgent8readDataEPvm");
  return read != NULL ? read(agent, buffer, size * count) : CURL_READFUNC_ABORT;
}

static size_t WriteToAgent(char *buffer, size_t size, size_t count, void *agent) {
  AgentData write = Member("_ZN7SyncEvo18CurlTransportAgent9writeDataEPvm");
  return write != NULL ? write(agent, buffer, size * count) : 0;
}

CURLcode curl_easy_setopt(CURL *handle, CURLoption option, ...) {
  SetOption real = (SetOption)dlsym(RTLD_NEXT, "curl_easy_setopt");
  if (real == NULL) return CURLE_FAILED_INIT;
  /* Every option value (long, pointer, function pointer, curl_off_t) is one 64-bit argument on
   * the platforms this runs on, so it is forwarded as one. */
  va_list arguments;
  va_start(arguments, option);
  void *value = va_arg(arguments, void *);
  va_end(arguments);
  if (value == NULL && option == CURLOPT_READFUNCTION) return real(handle, option, ReadFromAgent);
  if (value == NULL && option == CURLOPT_WRITEFUNCTION) return real(handle, option, WriteToAgent);
  return real(handle, option, value);
}
