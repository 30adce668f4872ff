#pragma once
// UUIDs and unique names.
//
//   CFUUIDCreate + CFUUIDCreateString              CFUUIDCreateString()   "8-4-4-4-12", upper-case hex,
//                                                                         random (version 4)
//   -[NSProcessInfo globallyUniqueString]          UUID::globallyUniqueString()
//
// UUID::createUniqueFile makes a new empty file under a unique name (O_EXCL, mode 0600), so two callers
// can never share a temporary file. Tests that compare whole bodies holding a UUID (multipart boundaries)
// install a generator with UUID::setGeneratorForTesting.
#include <functional>
#include <optional>
#include <string>

std::string CFUUIDCreateString();

namespace UUID {

// A process-unique name: a fresh UUID text followed by the process id and a counter.
std::string globallyUniqueString();

// Creates an empty file named prefix + unique name + suffix in `directory`; returns its path, or nullopt
// when the folder is not writable.
std::optional<std::string> createUniqueFile(const std::string& directory, const std::string& prefix = "",
                                            const std::string& suffix = "");

// Replaces the generator of CFUUIDCreateString (nullptr restores the random one).
void setGeneratorForTesting(std::function<std::string()> generator);

}  // namespace UUID
