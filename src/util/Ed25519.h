#pragma once
// Ed25519 signatures (RFC 8032) through OpenSSL's libcrypto.  Keys and signatures are
// plain byte strings: a 32-byte secret seed, a 32-byte public key and a
// 64-byte signature, the forms other tools read and write.
#include <cstddef>
#include <string>
#include <string_view>

inline constexpr size_t kEd25519SeedSize = 32;
inline constexpr size_t kEd25519PublicKeySize = 32;
inline constexpr size_t kEd25519SignatureSize = 64;

// A new secret seed from the system's random source.
std::string NewEd25519Seed();
// The public key of a seed (kEd25519SeedSize bytes).
std::string Ed25519PublicKey(std::string_view seed);
// The signature of the message with the seed's key.
std::string SignEd25519(std::string_view message, std::string_view seed);
// True only when the signature is the key's signature of exactly these
// bytes; false for sizes that are wrong as for signatures that are.
bool VerifyEd25519(std::string_view message, std::string_view signature,
                   std::string_view publicKey);
