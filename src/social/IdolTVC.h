#pragma once
// IdolTVC: the recommended people ("推荐人物") as a grid of avatars, four to a row, asked 60 at a time.
// Each page is asked synchronously on the main thread, so the screen waits for it. A tap on an
// avatar opens that person's feed.
#include "social/PageingViewController.h"

class IdolTVC : public PageingViewController {
public:
    static Ref<IdolTVC> create() { return make<IdolTVC>(); }

    void getDataAt(int page) override;

    void viewDidLoad() override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;

    IdolTVC() = default;
};
