// A library that only needs to load: the outside libraries whose presence programs test
// (the backlight screen saver, the serial Vos connection driver of the run-time system).
extern "C" __attribute__((visibility("default"))) int DummyLibraryVersion()
{
    return 1;
}
