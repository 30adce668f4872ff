#include "social/IdolTVC.h"

#include "api/PZRequest.h"
#include "net/http/HTTPRequest.h"
#include "platform/uikit/NSIndexPath.h"
#include "social/FriendViews.h"
#include "social/IdolCell.h"

namespace {
namespace IdolTVC_cpp {

constexpr int kPerPage = 60;

}  // namespace IdolTVC_cpp
}  // namespace

void IdolTVC::getDataAt(int page)
{
    Ref<HTTPRequest> request = PZRequest::getRecommandPeople2At_perPage(page, IdolTVC_cpp::kPerPage);
    if (page == 1) {
        getNewRequest = request;
    } else {
        getMoreRequest = request;
    }
    request->setDelegate(weakSelf<IdolTVC>());
    // The reply (or the failure) reaches requestFinished / requestFailed before this returns.
    request->startSynchronous();
}

void IdolTVC::viewDidLoad()
{
    registerFriendViews();
    PageingViewController::viewDidLoad();
    setTitle("推荐人物");
    setCountPerPage(IdolTVC_cpp::kPerPage);
}

NSInteger IdolTVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return (NSInteger(result().count()) + 3) / 4;
}

CGFloat IdolTVC::tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>&) { return 80; }

Ref<UITableViewCell> IdolTVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                              const Ref<NSIndexPath>& indexPath)
{
    auto cell = std::dynamic_pointer_cast<IdolCell>(tableView->dequeueReusableCellWithIdentifier(kIdolCellIdentifier));
    if (!cell) {
        cell = loadIdolCell();
    }
    cell->fullfillWithInfo_atRow_andTotal_andNavi(result(), indexPath->row(), total(), navigationController());
    return cell;
}
