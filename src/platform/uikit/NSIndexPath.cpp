#include "platform/uikit/NSIndexPath.h"

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

Ref<NSIndexPath> NSIndexPath::indexPathForRow_inSection(NSInteger row, NSInteger section)
{
    return std::make_shared<NSIndexPath>(section, row);
}

NSUInteger NSIndexPath::indexAtPosition(NSUInteger position) const
{
    if (position == 0) {
        return NSUInteger(section_);
    }
    if (position == 1) {
        return NSUInteger(row_);
    }
    return NSNotFound;
}

NSComparisonResult NSIndexPath::compare(const Ref<NSIndexPath>& other) const
{
    if (!other) {
        NSException::raise(NSInvalidArgumentException, "-[NSIndexPath compare:]: nil argument");
    }
    if (section_ != other->section_) {
        return section_ < other->section_ ? NSOrderedAscending : NSOrderedDescending;
    }
    if (row_ != other->row_) {
        return row_ < other->row_ ? NSOrderedAscending : NSOrderedDescending;
    }
    return NSOrderedSame;
}

bool NSIndexPath::isEqual(const NSObject* other) const
{
    auto path = dynamic_cast<const NSIndexPath*>(other);
    return path != nullptr && path->section_ == section_ && path->row_ == row_;
}

std::string NSIndexPath::description() const
{
    return stringWithFormat("<NSIndexPath> 2 indexes [%ld, %ld]", long(section_), long(row_));
}

bool NSIndexPathEqual(const Ref<NSIndexPath>& a, const Ref<NSIndexPath>& b)
{
    if (!a || !b) {
        return !a && !b;
    }
    return a->isEqual(b.get());
}

bool NSIndexPathLess::operator()(const Ref<NSIndexPath>& a, const Ref<NSIndexPath>& b) const
{
    if (!a || !b) {
        return !a && b;
    }
    return a->compare(b) == NSOrderedAscending;
}
