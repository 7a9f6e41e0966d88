// Clang's thread-safety attributes: the compiler, not a comment, says which lock guards a
// member and which functions expect it held (-Wthread-safety). Other compilers see nothing.
#pragma once

#if defined(__clang__)
#define TARV_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define TARV_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) TARV_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY TARV_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) TARV_THREAD_ATTRIBUTE(guarded_by(x))
#define REQUIRES(...) TARV_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TARV_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TARV_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define EXCLUDES(...) TARV_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
