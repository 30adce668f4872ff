#pragma once
// The edition the account screens branch on. The product is always the build's edition word; tests
// switch it to reach the branch every other edition takes (the own-account forms and the binding row).
#include <string>

namespace ScreenEdition {

// The edition word in force: kEditionWord unless a test set another.
std::string word();
// Whether the screens take the partner edition's branch.
bool isLumo();
// Tests only: another edition word, or "" to go back to the build's.
void setWordForTesting(const std::string& word);

}  // namespace ScreenEdition
