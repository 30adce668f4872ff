// Table-driven cases print as their name in test output.
#pragma once

#include <chrono>
#include <ostream>

namespace standin {
namespace { // the test files' own cases live in this TU's unnamed namespace

template <class Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

// How long a test waits for what the server should see.
inline constexpr std::chrono::seconds kWait{10};

} // namespace
} // namespace standin
