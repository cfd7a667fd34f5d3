// The save's storage for programs that never save: there is none.
#include "save_store.h"

StoreOpened StoreOpen(const std::string&, std::string*, std::string* err) {
  err->clear();
  return StoreOpened::kUnavailable;
}
bool StoreAppend(const std::string&, std::string*) { return false; }
bool StoreSync(std::string*) { return true; }
void StoreClose() {}
bool StoreReplace(const std::string&, std::string*) { return false; }
void StoreDiscard(bool) {}
std::string StoreName() { return ""; }
