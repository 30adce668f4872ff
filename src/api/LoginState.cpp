#include "api/LoginState.h"

#include "api/SessionHooks.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {

Value account()
{
    return NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
}

Value accountValue(std::string_view key)
{
    Value value = account()[key];
    return value.isNull() ? Value() : value;
}

// JSON replies may hold nulls, which the user defaults refuse (they are not property-list values):
// a login reply with one null field would not be stored at all. A null reads exactly like a missing
// key, so nulls are dropped from the stored copy.
Value withoutNulls(const Value& value)
{
    if (value.isDictionary()) {
        Value copy = Value::dictionary();
        for (const auto& [key, item] : value.dictionaryItems()) {
            if (!item.isNull()) {
                copy.setObject_forKey(withoutNulls(item), key);
            }
        }
        return copy;
    }
    if (value.isArray()) {
        Value copy = Value::array();
        for (const auto& item : value.arrayItems()) {
            if (!item.isNull()) {
                copy.addObject(withoutNulls(item));
            }
        }
        return copy;
    }
    return value;
}

// The folder name of a user name: the name itself, unless it would leave the Documents folder or
// name it ("", ".", "..", a "/" or NUL inside) or holds a '%'; then '%', '/', '.' and NUL are escaped as
// %XX. Kept names hold no '%' and escaped ones always do, so two users never share a folder.
std::string folderNameOfUser(const std::string& name)
{
    static const std::string escapedCharacters("/%\0", 3);
    const bool keep = !name.empty() && name != "." && name != ".." &&
                      name.find_first_of(escapedCharacters) == std::string::npos;
    if (keep) {
        return name;
    }
    std::string escaped;
    for (char c : name) {
        if (c == '%' || c == '/' || c == '.' || c == '\0') {
            escaped += stringWithFormat("%%%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

bool isLogin()
{
    return account()["status"].intValue() == 200;
}

void storeUserInfo(const Value& dictionary)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(kAcountInfoKey);
    defaults->setObject_forKey(withoutNulls(dictionary), kAcountInfoKey);
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kLoginSuccessNotification);
    if (auto engine = SessionHooks::engineSession()) {
        engine->setToken();
    }
    if (auto services = SessionHooks::applicationServices()) {
        services->getRemind();
    }
}

void appendUserInfo(const Value& value, std::string_view key)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    Value stored = defaults->dictionaryForKey(kAcountInfoKey);
    Value updated = stored.isDictionary() ? stored.mutableCopy() : Value::dictionary();
    defaults->removeObjectForKey(kAcountInfoKey);
    if (value.isNilOrNull()) {
        updated.removeObjectForKey(key);
    } else {
        updated.setObject_forKey(withoutNulls(value), key);
    }
    defaults->setObject_forKey(updated, kAcountInfoKey);
}

void Logout()
{
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(kAcountInfoKey);
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kLogoutDoneNotification);
    if (auto engine = SessionHooks::engineSession()) {
        engine->logOut();
    }
}

Value getSelfToken()
{
    return accountValue("token");
}

Value getSelfSuid()
{
    return accountValue("suid");
}

Value getSelfNick()
{
    return accountValue("nick");
}

Value getUserName()
{
    return accountValue("username");
}

int getLoginType()
{
    return account()["otherLoginMode"].intValue();
}

bool acountIsSelf(const Value& suid)
{
    const Value own = getSelfSuid();
    if (suid.isNilOrNull() || own.isNil()) {
        return false;
    }
    // Ids arrive as texts or numbers depending on the reply; they are the same id when their texts are.
    return suid.description() == own.description();
}

bool isFirstLogin()
{
    return !account()[kFirstLogTipKey].isEqualToString(kFirstLogTipValue);
}

void TipsShowed()
{
    appendUserInfo(kFirstLogTipValue, kFirstLogTipKey);
}

std::string getUserMediaFolder()
{
    const auto documents = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    const std::string root = documents.empty() ? FoundationRoots::documentsDirectory() : documents.front();
    const Value name = getUserName();
    const bool hasUser = !name.isNil() && !name.description().empty();
    const std::string path =
        hasUser ? root + "/" + folderNameOfUser(name.description()) : stringWithFormat("%@/%@", root, name);
    if (hasUser) {
        auto files = NSFileManager::defaultManager();
        if (!files->fileExistsAtPath(path)) {
            files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(path, false);
        }
    }
    NSLog("----%@", path);
    return path;
}
