// A library built twice for the version tests: with a version record and without one.
extern "C" __attribute__((visibility("default"))) int versionTestEntry()
{
    return 1;
}
