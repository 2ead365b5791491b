// R900 to R999: one table shared by every interpreter of the process. Channel
// workers read and write it concurrently, so every access takes its lock.
#pragma once

namespace SharedRParams
{
constexpr int First = 900;
constexpr int Count = 100;

// index is 900..999; other indexes read 0.0 and write nothing.
double get(int index);
void set(int index, double value);
} // namespace SharedRParams
