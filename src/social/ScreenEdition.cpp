#include "social/ScreenEdition.h"

#include <mutex>

#include "api/Edition.h"

namespace {
namespace ScreenEdition_cpp {

std::mutex& overrideMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string& overrideWord()
{
    static std::string word;
    return word;
}

}  // namespace ScreenEdition_cpp
}  // namespace

std::string ScreenEdition::word()
{
    using namespace ScreenEdition_cpp;
    std::lock_guard lock(overrideMutex());
    return overrideWord().empty() ? std::string(kEditionWord) : overrideWord();
}

bool ScreenEdition::isLumo() { return word() == "lumo"; }

void ScreenEdition::setWordForTesting(const std::string& word)
{
    using namespace ScreenEdition_cpp;
    std::lock_guard lock(overrideMutex());
    overrideWord() = word;
}
