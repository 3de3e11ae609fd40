#pragma once
// libsodium, our one source of cryptography (Ed25519 and SHA-256).

// Makes libsodium ready for use; cheap after the first call and safe from
// any thread.  Raises Exception when the library cannot start (no source of
// random numbers), which a normal system never sees.
void InitSodium();
