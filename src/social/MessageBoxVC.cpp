#include "social/MessageBoxVC.h"

#include "api/PZRequest.h"

Ref<MessageBoxVC> MessageBoxVC::create()
{
    auto box = make<MessageBoxVC>();
    box->setTitle("消息");
    return box;
}

void MessageBoxVC::autoReload()
{
    PZRequest::getMessageAtPage(1)->startAsynchronous();
}
