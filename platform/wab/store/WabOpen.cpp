// The library's one exported symbol: WABOpen opens the book and hands out its first objects.
#include <memory>

#include "platform/wab/WabApi.h"
#include "platform/wab/store/BookPath.h"
#include "platform/wab/store/WabAddrBook.h"
#include "platform/wab/store/WabFailure.h"

namespace {

std::string BookPathFor(const WAB_PARAM* param) {
  if (param != nullptr && param->szFileName != nullptr && param->szFileName[0] != '\0') return param->szFileName;
  return UserBookPath();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT WABOpen(LPADRBOOK* lppAdrBook, LPWABOBJECT* lppWABObject,
                                                                 WAB_PARAM* lpWP, ULONG /*Reserved2*/) {
  return GuardCall([&] {
    Require(lppAdrBook != nullptr && lppWABObject != nullptr);
    *lppAdrBook = nullptr;
    *lppWABObject = nullptr;
    Require(lpWP == nullptr || lpWP->cbSize >= sizeof(WAB_PARAM));
    const BookContext context{std::make_shared<WabDatabase>(BookPathFor(lpWP)), NewAllocator()};
    IAddrBook* book = NewAddrBookObject(context);
    try {
      *lppWABObject = NewAllocatorObject(context.allocator);
    } catch (...) {
      book->Release();
      throw;
    }
    *lppAdrBook = book;
    return S_OK;
  });
}
