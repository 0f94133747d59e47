// A shared library that loads but offers none of the engine's entry points.
#ifdef _WIN32
#define NOENTRY_EXPORT __declspec(dllexport)
#else
#define NOENTRY_EXPORT
#endif

extern "C" NOENTRY_EXPORT int tavlonoentry_marker()
{
    return 1;
}
