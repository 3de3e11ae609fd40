#include "util/Sodium.h"

#include <sodium.h>

#include "util/Errors.h"

void InitSodium() {
  // 0: started now; 1: started before; -1: failed.
  if (sodium_init() < 0) throw Exception("The cryptography library could not be started.");
}
