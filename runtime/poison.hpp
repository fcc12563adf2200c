// AddressSanitizer's view of the frames: the collector poisons room no buffer owns, and
// whatever gives that room back to the system or to new buffers unpoisons it first.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TAV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAV_ASAN 1
#endif
#endif

#ifdef TAV_ASAN
#include <sanitizer/asan_interface.h>
#define TAV_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define TAV_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define TAV_POISON(address, size) ((void)(address), (void)(size))
#define TAV_UNPOISON(address, size) ((void)(address), (void)(size))
#endif
