#include "shell/FeedVC.h"

#include "api/PZRequest.h"

Ref<FeedVC> FeedVC::myinitWithType_andSuid_isRoot(int type, const Value& suid, bool isRoot)
{
    auto feed = make<FeedVC>();
    feed->type_ = type;
    feed->suid_ = suid;
    feed->isRoot_ = isRoot;
    feed->setTitle(type == 0 ? "首页" : type == 2 ? "最新" : type == 4 ? "我的" : "");
    return feed;
}

void FeedVC::refreshFeed()
{
    forceGetContentFromWeb();
}

void FeedVC::forceGetContentFromWeb()
{
    Ref<HTTPRequest> request = type_ == 0   ? PZRequest::getV2FeedAtPage(1)
                               : type_ == 2 ? PZRequest::getV2RecentAtPage(1)
                                            : PZRequest::getV2User_atPage(suid_, 1);
    if (request) {
        request->startAsynchronous();
    }
}
