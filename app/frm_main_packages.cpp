// The list's package columns and Tools > "Check Packages...".

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>

#include "app/file_list_model.h"
#include "app/frm_check_packages.h"
#include "app/frm_main.h"
#include "engine/cache/package_facts.h"
#include "engine/cache/scan.h"
#include "engine/maintenance/package_check.h"
#include "engine/run/list_plan.h"
#include "engine/run/placement.h"
#include "widgets/display.h"

namespace qv {

void frmMain::fillPackageColumns() {
    wholeHeaders_ = {};
    if (pv_.EntryCount() == 0) return;
    const Options options = currentOptions();
    const PlacementContext place = listingPlacement(pv_, cacheDir_, options, fs_);
    std::vector<PackageFacts> facts;
    WholeHeaders whole;
    // The rows as the selection rules checked them: the plan of their run decides the rest.
    std::vector<FileRow> rows = model_->rows();
    ListPlan plan;
    // Each batch goes to the list as soon as it is read; the list itself is shown already.
    onWorker([&] {
        examineEntries(
            pv_, place, facts, headers_, fs_,
            [&](std::size_t first, std::size_t end) {
                std::vector<PackageFacts> batch(facts.begin() + static_cast<std::ptrdiff_t>(first),
                                                facts.begin() + static_cast<std::ptrdiff_t>(end));
                QMetaObject::invokeMethod(
                    this,
                    [this, first, batch = std::move(batch)] { model_->setFacts(first, batch); },
                    Qt::QueuedConnection);
            },
            &stop_, &whole);
        if (!stop_) plan = planRows(rows, pv_, options, place, facts, &whole, fs_, &headers_);
    });
    wholeHeaders_ = std::move(whole);
    QCoreApplication::sendPostedEvents(this);
    const bool planned = plan.entries.size() == pv_.EntryCount();
    if (planned) model_->setPlan(rows, std::move(plan.entries));
    sizeFileListColumns();  // the Installed and Package columns have their texts now
    // What the run of the checked rows moves or removes, as the plan counts it (a pass that was
    // stopped made none: the rows the scan found movable).
    showCount(displayText(filesToProcessText(
        planned ? model_->toProcess() : countToProcess(model_->rows(), pv_, cacheDir_, fs_))));
}

void frmMain::mnuToolsCheckPackages_Click() {
    if (busy_ > 0) return;
    OperationGuard guard(*this);
    const Result<CheckPlaces> places = checkPlacesFor(pv_, cacheDir_, fs_);
    if (!places) {
        message("Quorvel.ini could not be read (" + places.status.text + ")");
        return;
    }
    // The check and the making of its list are on the worker; the window only shows them.
    const QString before = sbrText->text();
    showBusyBar(QStringLiteral("Checking the packages..."));
    CheckResults results;
    onWorker([&] { results = makeCheckResults(checkPackages(places.value, fs_, &stop_)); });
    endBusyBar();
    sbrText->setText(before);
    frmCheckPackages window(places.value, std::move(results), fs_, dialogs_, this);
    window.exec();
}

}  // namespace qv
