// The account side of the stand-in service: registration, the forgotten password, profile changes
// (e-mail, nick, avatar, cover), binding and unbinding a microblog account, and the edition's about page.
//
//   POST /m/reg.json          user, pwd (as typed): a new account's login reply; a taken name
//                             ("xiaoming", "小明") or a short password is refused with a message.
//   POST /m/forget-pwd.json   email: {"status":200,"stauts":200,...}; the unregistered address
//                             "nobody@example.com" gets {"status":404,"msg":"该邮箱尚未注册"}.
//   POST /m/modify-info.json  (token) email: {"status":200,"email":"need verify"} ("used@example.com" is
//                             refused); nick: {"status":200,"nick":...} ("管理员" is refused); pwd and
//                             old: {"status":200,"newToken":"tk-pwd-<length>"} (the old "wrong123" is
//                             refused); phone: {"status":200,"phone":...} ("13900000000" is refused);
//                             other fields: the plain OK.
//   POST /m/upload-icon.json  (token) {"status":200,"newIcon":<this server>/img/avatar-1002.png}
//   POST /m/upload-cover.json (token) {"status":200,"newCover":<this server>/img/video-3002.png}
//   POST /m/bind-lumoweibo.json, /m/bind-qweibo.json (token) weiboToken, weiboTokenSecret: the bound
//                             account, {"status":200,"weiboNick":"西湖边的小明" (QQ: "QQ小明"),...}
//   POST /m/unbind-weibo.json (token) othertype: {"status":200,"othertype":<it>}
//   GET  /oem.html?vend=      the about page of the edition
#pragma once

#include "service/HttpServer.h"

#include <string>

namespace standin {

// The login reply with its avatar and cover on this server's pictures (for screens that show them).
std::string accountReplyWithImages(const std::string& hostPort, int otherLoginMode);

void installAccountRoutes(HttpServer& server);

} // namespace standin
