// A small library loaded by name in the module tests.
extern "C" __attribute__((visibility("default"))) int osTestAnswer(int value)
{
    return value * 2 + 1;
}
