#pragma once
// Tests that bound the cost of a hostile input in wall-clock time (to catch
// work that grows faster than the input) multiply the bound by this factor:
// a sanitizer build slows every memory access and thread switch many times.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVIN_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORVIN_SANITIZED 1
#endif
#endif

#ifdef QUORVIN_SANITIZED
inline constexpr int kSanitizerSlowdown = 10;
#else
inline constexpr int kSanitizerSlowdown = 1;
#endif
