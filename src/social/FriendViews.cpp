#include "social/FriendViews.h"

#include "platform/uikit/UINib.h"
#include "social/IdolCell.h"
#include "social/PossibleKnownCell.h"

namespace {
namespace FriendViews_cpp {

constexpr char kCommonViews[] = "CommonViews";

Ref<NSObject> makePossibleKnownCell(UINibBuilder& nib)
{
    return nib.add(PossibleKnownCell::create(kPossibleKnownCellIdentifier));
}

// Four slots of 80 points: a 68-point frame around a 60-point avatar, centred in the slot.
Ref<NSObject> makeIdolCell(UINibBuilder& nib)
{
    auto cell = nib.add(UITableViewCell::makeWithStyle<IdolCell>(UITableViewCellStyleDefault, kIdolCellIdentifier));
    cell->setFrame(CGRectMake(0, 0, 320, 80));
    Ref<UIUserButton>* slots[] = {&cell->user1, &cell->user2, &cell->user3, &cell->user4};
    Ref<UIImageView>* frames[] = {&cell->bkg1, &cell->bkg2, &cell->bkg3, &cell->bkg4};
    for (int index = 0; index < 4; ++index) {
        const CGFloat left = 80 * index;
        *frames[index] = nib.view<UIImageView>(CGRectMake(left + 6, 6, 68, 68));
        cell->contentView()->addSubview(*frames[index]);
        *slots[index] = nib.add(UIUserButton::initWithFrame(CGRectMake(left + 10, 10, 60, 60)));
        cell->contentView()->addSubview(*slots[index]);
    }
    return cell;
}

template <class T>
Ref<T> load(std::size_t index)
{
    registerFriendViews();
    const std::vector<Ref<NSObject>> objects = UINibRegistry::instantiate(kCommonViews, nullptr);
    return index < objects.size() ? std::dynamic_pointer_cast<T>(objects[index]) : nullptr;
}

}  // namespace FriendViews_cpp
}  // namespace

void registerFriendViews()
{
    UINibRegistry::registerObject(FriendViews_cpp::kCommonViews, kPossibleKnownCellObject,
                                  FriendViews_cpp::makePossibleKnownCell);
    UINibRegistry::registerObject(FriendViews_cpp::kCommonViews, kIdolCellObject, FriendViews_cpp::makeIdolCell);
}

Ref<PossibleKnownCell> loadPossibleKnownCell()
{
    return FriendViews_cpp::load<PossibleKnownCell>(kPossibleKnownCellObject);
}

Ref<IdolCell> loadIdolCell()
{
    return FriendViews_cpp::load<IdolCell>(kIdolCellObject);
}
