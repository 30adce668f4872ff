#include "service/StandInService.h"

#include "service/AccountRoutes.h"
#include "service/ApiRoutes.h"
#include "service/CommitRoutes.h"
#include "service/ImageRoutes.h"
#include "service/FeedRoutes.h"
#include "service/MessageRoutes.h"
#include "service/FriendRoutes.h"
#include "service/MetaRoutes.h"
#include "service/ProfileRoutes.h"
#include "service/SquareRoutes.h"
#include "service/StreamRoutes.h"
#include "service/TokenRoutes.h"
#include "service/PickerRoutes.h"
#include "service/UploadRoutes.h"
#include "service/VideoPageRoutes.h"
#include "service/WorldRoutes.h"

#include <utility>

namespace standin {

StandInService::StandInService(ServerOptions options) : server_(std::move(options))
{
    // The upload server (blocks and the end call).
    installUploadRoutes(server_, uploads_);
    // The upload token, naming this server as the upload server.
    installTokenRoutes(server_);
    installMetaRoutes(server_);
    installCommitRoutes(server_, uploads_);
    // The API the client's request factory calls (after the commit calls, whose paths it shares).
    installApiRoutes(server_);
    // The square, the followed topics and the place's visitors, with lists long enough to fill screens.
    installSquareRoutes(server_);
    // The pictures records point at (avatars, covers, stills).
    installImageRoutes(server_);
    // Registration, profile changes and the account's pictures answer as the account screens expect.
    installAccountRoutes(server_);
    // The own profile, the follow and fans lists (with relations) and following from them.
    installProfileRoutes(server_, &world_);
    // The feeds page by page, over the API's one-item lists.
    installFeedRoutes(server_, &published_, &world_);
    // The system messages page by page, over the API's one-message list.
    installMessageRoutes(server_);
    // The videos' streams (a real movie).
    installStreamRoutes(server_);
    // The people lists (possible friends, microblog friends, search, recommended people), following and
    // the microblog invitation.
    installFriendRoutes(server_, &world_);
    // One video with its viewers and comments, comments posted, and the videos' movie.
    installVideoPageRoutes(server_, &published_, &world_);
    // All topics page by page (the topic picker and the square's topic list), over the API's one topic.
    installTopicPages(server_, kPickerTopicCount);
    // One world over the areas: topics and their follows, reminders, every video's stream and page.
    installWorldRoutes(server_, world_, published_, uploads_);

    // The service's API paths (the token request, the commit calls, the codec header, ...) are
    // installed here as they are built: one install function per area, like the upload routes.

    // Last, around whichever routes answer them: what the publishing calls accepted is kept.
    recordPublishing(server_, published_);
}

} // namespace standin
