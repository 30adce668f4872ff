#include <filesystem>

#include "ApiTestSupport.h"
#include "api/LoginState.h"
#include "api/Tool.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace apitest {
namespace {

class LoginStateTest : public ApiTest {
protected:
    // Records the two login notifications into the call log, with the token stored when each arrives.
    void observeNotifications()
    {
        observer = NSObject::create();
        for (const char* name : {kLoginSuccessNotification, kLogoutDoneNotification}) {
            NSNotificationCenter::defaultCenter()->addObserver(
                observer, name, Value(), [this](const Ref<NSNotification>& note) {
                    log.calls.push_back(note->name() + " " + getSelfToken().description());
                });
        }
    }
    void TearDown() override
    {
        if (observer) {
            NSNotificationCenter::defaultCenter()->removeObserver(observer);
        }
        ApiTest::TearDown();
    }
    std::string documents() const { return FoundationRoots::documentsDirectory(); }

    Ref<NSObject> observer;
};

TEST_F(LoginStateTest, NoAccountReadsAsLoggedOut)
{
    EXPECT_FALSE(isLogin());
    EXPECT_TRUE(getSelfToken().isNil());
    EXPECT_TRUE(getSelfSuid().isNil());
    EXPECT_TRUE(getSelfNick().isNil());
    EXPECT_TRUE(getUserName().isNil());
    EXPECT_EQ(getLoginType(), 0);
    EXPECT_TRUE(isFirstLogin());
    EXPECT_FALSE(acountIsSelf("1001"));
    EXPECT_FALSE(acountIsSelf(Value()));
}

TEST_F(LoginStateTest, StoringALoginReplacesTheWholeAccountAndTellsTheNotificationEngineAndDelegateInOrder)
{
    recordHooks();
    observeNotifications();
    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "t1"}, {"suid", "1001"}, {"nick", "阿明"},
                                     {"username", "aming"}, {"canlive", true}}));
    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "t2"}, {"suid", "1002"}, {"username", "bo"}}));

    EXPECT_EQ(log.calls, (std::vector<std::string>{"login_success t1", "engine setToken t1 logged in", "getRemind",
                                                   "login_success t2", "engine setToken t2 logged in",
                                                   "getRemind"}));
    const Value stored = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    EXPECT_EQ(stored.allKeys(), (std::vector<std::string>{"status", "token", "suid", "username"}));
    EXPECT_TRUE(getSelfNick().isNil());  // nothing of the first account survives
    EXPECT_EQ(getSelfToken(), Value("t2"));
    EXPECT_EQ(getSelfSuid(), Value("1002"));
}

TEST_F(LoginStateTest, OnlyAStatusOf200IsLoggedInYetAnyReplyIsStored)
{
    const struct {
        Value status;
        bool loggedIn;
    } cases[] = {
        {200, true}, {"200", true}, {200.0, true}, {500, false}, {"ok", false}, {Value(), false}, {true, false},
    };
    for (const auto& c : cases) {
        Value reply = Value::dictionary({{"token", "t"}, {"msg", "用户名或密码错误"}});
        if (!c.status.isNil()) {
            reply.setObject_forKey(c.status, "status");
        }
        storeUserInfo(reply);
        EXPECT_EQ(isLogin(), c.loggedIn) << c.status.description();
        EXPECT_EQ(getSelfToken(), Value("t")) << c.status.description();
    }
}

TEST_F(LoginStateTest, NullFieldsOfALoginReplyDoNotKeepItFromBeingStored)
{
    storeUserInfo(Value::dictionary({{"status", 200},
                                     {"token", "t"},
                                     {"phone", Value::null()},
                                     {"qWeibo", Value::dictionary({{"weiboNick", Value::null()}, {"weiboToken", "q"}})},
                                     {"icons", Value::array({"a", Value::null(), "b"})}}));
    NSUserDefaults::resetStandardUserDefaults();  // and it survives a relaunch
    EXPECT_TRUE(isLogin());
    const Value stored = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    EXPECT_TRUE(stored["phone"].isNil());
    EXPECT_EQ(stored["qWeibo"]["weiboToken"], Value("q"));
    EXPECT_TRUE(stored["qWeibo"]["weiboNick"].isNil());
    EXPECT_EQ(stored["icons"], Value::array({"a", "b"}));
}

TEST_F(LoginStateTest, AppendingSetsOrRemovesOneKeyAndTellsNobody)
{
    recordHooks();
    observeNotifications();
    appendUserInfo("only", "nick");  // no account yet: a record of one key, still logged out
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey), Value::dictionary({{"nick", "only"}}));
    EXPECT_FALSE(isLogin());

    NSUserDefaults::standardUserDefaults()->setObject_forKey(
        Value::dictionary({{"status", 200}, {"token", "old"}, {"bindQWeibo", true}, {"qWeibo", Value::dictionary()}}),
        kAcountInfoKey);
    appendUserInfo("new", "token");           // a password change replaces the token
    appendUserInfo(Value(), "bindQWeibo");    // nil removes
    appendUserInfo(Value::null(), "qWeibo");  // so does a null taken from a reply
    appendUserInfo(Value::dictionary({{"weiboNick", "n"}, {"weiboToken", Value::null()}}), "lumoWeibo");

    EXPECT_TRUE(isLogin());
    EXPECT_EQ(getSelfToken(), Value("new"));
    const Value stored = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    EXPECT_EQ(stored.allKeys(), (std::vector<std::string>{"status", "token", "lumoWeibo"}));
    EXPECT_EQ(stored["lumoWeibo"], Value::dictionary({{"weiboNick", "n"}}));
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(LoginStateTest, LogoutRemovesTheAccountThenTellsTheNotificationAndTheEngine)
{
    recordHooks();
    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "t"}}));
    log.calls.clear();
    observeNotifications();
    Logout();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"logout_done (null)", "engine logOut"}));
    EXPECT_FALSE(isLogin());
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey).isNil());
}

TEST_F(LoginStateTest, WithoutTheModulesAboveLoginAndLogoutStillWork)
{
    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "t"}}));
    EXPECT_TRUE(isLogin());
    PresentLogin();
    ShowNetError();
    Logout();
    EXPECT_FALSE(isLogin());
}

TEST_F(LoginStateTest, ShellHelpersReachTheApplicationDelegate)
{
    recordHooks();
    PresentLogin();
    ShowNetError("分享失败");
    ShowNetError();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"presentLogin", "showNetError 分享失败", "showNetError (null)"}));
}

TEST_F(LoginStateTest, GettersReadTheAccountAtEachCall)
{
    const struct {
        Value mode;
        int loginType;
    } modes[] = {{Value(), 0}, {0, 0}, {2, 2}, {"3", 3}, {Value::dictionary(), 0}};
    for (const auto& m : modes) {
        Value account = Value::dictionary({{"status", 200}, {"suid", "1001"}, {"username", "aming"}, {"nick", "阿明"}});
        if (!m.mode.isNil()) {
            account.setObject_forKey(m.mode, "otherLoginMode");
        }
        NSUserDefaults::standardUserDefaults()->setObject_forKey(account, kAcountInfoKey);
        EXPECT_EQ(getLoginType(), m.loginType) << m.mode.description();
    }
    EXPECT_EQ(getSelfNick(), Value("阿明"));
    EXPECT_EQ(getUserName(), Value("aming"));
    EXPECT_EQ(Tool::getSelfUsername(), Value("aming"));
    EXPECT_TRUE(Tool::getSelfToken().isNil());
    EXPECT_TRUE(acountIsSelf("1001"));
    EXPECT_TRUE(acountIsSelf(1001));  // ids come as numbers in some replies
    EXPECT_FALSE(acountIsSelf("1002"));
    EXPECT_FALSE(acountIsSelf(Value()));
}

TEST_F(LoginStateTest, TheFirstLoginTipIsShownOnce)
{
    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "t"}}));
    EXPECT_TRUE(isFirstLogin());
    TipsShowed();
    EXPECT_FALSE(isFirstLogin());
    EXPECT_EQ(getSelfToken(), Value("t"));
    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "t2"}}));  // a new login asks again
    EXPECT_TRUE(isFirstLogin());
}

TEST_F(LoginStateTest, TheMediaFolderIsTheUsersFolderInDocuments)
{
    NSLogCapture logged(true);
    appendUserInfo("aming", "username");
    const std::string folder = getUserMediaFolder();
    EXPECT_EQ(folder, documents() + "/aming");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(Tool::getUserMediaFolder(), folder);  // an existing folder is fine
    EXPECT_EQ(logged.count("----" + folder), 2u);

    appendUserInfo("a.b-c_d@mail.com", "username");  // an ordinary name keeps its form
    EXPECT_EQ(getUserMediaFolder(), documents() + "/a.b-c_d@mail.com");
}

TEST_F(LoginStateTest, NoFolderIsMadeWithoutAUser)
{
    EXPECT_EQ(getUserMediaFolder(), documents() + "/(null)");
    appendUserInfo("", "username");
    EXPECT_EQ(getUserMediaFolder(), documents() + "/");
    EXPECT_TRUE(std::filesystem::is_empty(documents()));
}

TEST_F(LoginStateTest, AUserNameNeverLeadsOutOfTheDocumentsFolder)
{
    std::set<std::string> folders;
    for (const char* name : {"..", ".", "/", "../../etc", "a/b", "a/../../b", "%2E%2E", "50%off"}) {
        appendUserInfo(name, "username");
        const std::filesystem::path folder = getUserMediaFolder();
        EXPECT_EQ(folder.parent_path(), std::filesystem::path(documents())) << name;
        EXPECT_NE(folder.filename(), "..") << name;
        EXPECT_NE(folder.filename(), ".") << name;
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << name;
        folders.insert(folder.string());
    }
    EXPECT_EQ(folders.size(), 8u);  // different names, different folders
    // Nothing was made beside Documents.
    for (const auto& entry : std::filesystem::directory_iterator(NSHomeDirectory())) {
        EXPECT_TRUE(entry.path().filename() == "Documents" || entry.path().filename() == "Library" ||
                    entry.path().filename() == "tmp")
            << entry.path();
    }
}

}  // namespace
}  // namespace apitest
