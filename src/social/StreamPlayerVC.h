#pragma once
// StreamPlayerVC: the full-screen player for a stream URL, presented modally where no video page can
// be opened (no account). It only keeps the URL it plays.
#include <string>

#include "platform/uikit/UIViewController.h"

class StreamPlayerVC : public UIViewController {
public:
    static Ref<StreamPlayerVC> initWithContentURL(const std::string& url)
    {
        auto player = make<StreamPlayerVC>();
        player->url_ = url;
        return player;
    }
    const std::string& contentURL() const { return url_; }

private:
    std::string url_;
};
