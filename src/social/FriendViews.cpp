#include "social/FriendViews.h"

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
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

// Four slots of 80 points: a 58-point frame around a 50-point avatar, centred in the slot, and the
// person's name under it.
Ref<NSObject> makeIdolCell(UINibBuilder& nib)
{
    auto cell = nib.add(UITableViewCell::makeWithStyle<IdolCell>(UITableViewCellStyleDefault, kIdolCellIdentifier));
    cell->setFrame(CGRectMake(0, 0, 320, 80));
    Ref<UIUserButton>* slots[] = {&cell->user1, &cell->user2, &cell->user3, &cell->user4};
    Ref<UIImageView>* frames[] = {&cell->bkg1, &cell->bkg2, &cell->bkg3, &cell->bkg4};
    Ref<UILabel>* names[] = {&cell->name1, &cell->name2, &cell->name3, &cell->name4};
    for (int index = 0; index < 4; ++index) {
        const CGFloat left = 80 * index;
        *frames[index] = nib.view<UIImageView>(CGRectMake(left + 11, 3, 58, 58));
        cell->contentView()->addSubview(*frames[index]);
        *slots[index] = nib.add(UIUserButton::initWithFrame(CGRectMake(left + 15, 7, 50, 50)));
        cell->contentView()->addSubview(*slots[index]);
        *names[index] = nib.view<UILabel>(CGRectMake(left + 3, 62, 74, 15));
        (*names[index])->setFont(UIFont::systemFontOfSize(11));
        (*names[index])->setTextAlignment(UITextAlignmentCenter);
        (*names[index])->setTextColor(UIColor::colorWithWhite_alpha(0.25, 1));
        (*names[index])->setBackgroundColor(UIColor::clearColor());
        (*names[index])->setLineBreakMode(UILineBreakModeTailTruncation);
        cell->contentView()->addSubview(*names[index]);
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
