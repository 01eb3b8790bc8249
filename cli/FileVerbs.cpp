#include "cli/FileVerbs.h"

#include "base/Files.h"
#include "cli/SyncOutput.h"

#include <windows.h>

namespace {

std::size_t StoreIndex(const TProgramState& state, const std::wstring& key)
{
    return StoreWithKey(state, key).value_or(state.Stores.size());
}

std::vector<TSyncRecolour> Recolours(const TProgramState& state, const std::vector<TRecolourStep>& steps)
{
    std::vector<TSyncRecolour> recolours;
    for (const TRecolourStep& step : steps)
        recolours.push_back({step.Name, step.From, step.To, step.Refusal, StoreIndex(state, step.StoreKey)});
    return recolours;
}

}  // namespace

std::wstring ListFileFullPath(const std::wstring& path)
{
    try {
        return FullPath(path);
    } catch (const EFileError&) {
        return path;
    }
}

bool ReadImportFile(const TSyncRequest& request, TSyncResult& result, TCategoryListFile& file)
{
    result.File = ListFileFullPath(request.File);
    try {
        file = ReadCategoryListFile(request.File);
    } catch (const EListFileError& e) {
        result.Exit = TSyncExit::BadUsage;
        result.Error = ErrorBoxText(OneLineMessage(e.Message()));
        return false;
    }
    for (const TListFileWarning& warning : file.Warnings)
        result.Warnings.push_back(warning.Message);
    for (const TListFileWarning& remark : file.Remarks)
        result.Warnings.push_back(remark.Message);
    return true;
}

TImportOptions ImportOptionsOf(const TSyncRequest& request)
{
    TImportOptions options;
    options.ToRegistry = request.Registry;
    options.Colors = request.Colors;
    options.DryRun = request.DryRun;
    return options;
}

void RunExport(const TSyncRequest& request, TProgramState& state, TSyncResult& result)
{
    result.File = ListFileFullPath(request.File);
    TCategoryExport exported = ChosenCategoryEntries(state);
    result.NotExported = std::move(exported.LeftOut);
    WriteCategoryListFile(request.File, exported.Entries);
    result.Exported = std::move(exported.Entries);
}

void TakeRecolours(TSyncResult& result, const TProgramState& state, const TImportReport& report)
{
    result.Recoloured = Recolours(state, report.Recoloured);
    result.RecolourRefused = Recolours(state, report.RecolourRefused);
    if (!result.RecolourRefused.empty() && result.Exit == TSyncExit::Done)
        result.Exit = TSyncExit::Failed;
}
