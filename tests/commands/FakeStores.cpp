#include "FakeStores.h"

#include "base/Errors.h"
#include "base/Platform.h"

#include <cwctype>
#include <map>

namespace {

class TFakeStore final : public ICategoryStore {
public:
    TFakeStore(TFakeSource& source, std::shared_ptr<TFakeStoreSetup> setup, bool isDefault)
        : source_(source), setup_(std::move(setup)), key_(setup_->Key), displayName_(setup_->DisplayName),
          isDefault_(isDefault), error_(setup_->Unreadable)
    {
        if (error_.empty())
            Take();
    }

    // One letter case for every read, as an Outlook store gives its StoreID.
    std::wstring Key() const override
    {
        std::wstring key = key_;
        for (wchar_t& c : key)
            c = static_cast<wchar_t>(towupper(c));
        return key;
    }
    std::optional<std::wstring> DisplayName() const override { return displayName_; }
    bool IsDefault() const override { return isDefault_; }
    std::optional<std::wstring> ReadFailure() const override
    {
        return error_.empty() ? std::nullopt : std::optional<std::wstring>(error_);
    }
    const TCategorySet& Names() const override { return names_; }

    std::optional<TCategoryColor> ColorOf(const std::wstring& name) override
    {
        source_.Log.push_back(L"color " + key_ + L" " + name);
        if (setup_->ColorsAsRead) {
            const auto found = colorsRead_.find(name);
            return found == colorsRead_.end() ? std::nullopt : found->second;
        }
        const int at = setup_->List->Find(name);
        return at < 0 ? std::nullopt : setup_->List->Colors[static_cast<std::size_t>(at)];
    }

    void ReRead() override
    {
        source_.Log.push_back(L"reread " + key_);
        if (!setup_->ReReadFault.empty())
            throw EException(setup_->ReReadFault);
        Take();
    }

    TAddOutcome Add(const std::wstring& name, std::optional<TCategoryColor> color) override
    {
        source_.Log.push_back(L"add " + key_ + L" " + name);
        if (!setup_->AddFault.empty())
            throw EException(setup_->AddFault);
        if (const auto refused = setup_->Refusals.find(name); refused != setup_->Refusals.end())
            return {false, refused->second};
        if (setup_->DropsColors)
            color = TCategoryColor::FromOutlook(TCategoryColor::kNoneValue);
        setup_->List->Names.push_back(name);
        setup_->List->Colors.push_back(color);
        names_.Add(name);
        colorsRead_[name] = color;
        return {true, {}};
    }

    TColorOutcome SetColor(const std::wstring& name, TCategoryColor color) override
    {
        source_.Log.push_back(L"recolour " + key_ + L" " + name + L" " + std::to_wstring(color.OutlookValue()));
        if (const auto refused = setup_->ColorRefusals.find(name); refused != setup_->ColorRefusals.end())
            return {false, refused->second};
        const int at = setup_->List->Find(name);
        if (at < 0)
            return {false, L"gone"};
        setup_->List->Colors[static_cast<std::size_t>(at)] = color;
        colorsRead_[name] = color;
        return {true, {}};
    }

private:
    void Take()
    {
        names_.Clear();
        colorsRead_.clear();
        for (std::size_t i = 0; i < setup_->List->Names.size(); ++i) {
            names_.Add(setup_->List->Names[i]);
            const auto& colors = setup_->List->Colors;
            colorsRead_.emplace(setup_->List->Names[i], i < colors.size() ? colors[i] : std::nullopt);
        }
    }

    TFakeSource& source_;
    std::shared_ptr<TFakeStoreSetup> setup_;
    std::wstring key_;
    std::optional<std::wstring> displayName_;
    bool isDefault_;
    std::wstring error_;
    TCategorySet names_;
    struct TNameLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const { return CompareCategoryNames(a, b) < 0; }
    };
    std::map<std::wstring, std::optional<TCategoryColor>, TNameLess> colorsRead_;
};

}  // namespace

TFakeList::TFakeList(std::vector<std::wstring> names) : Names(std::move(names)), Colors(Names.size())
{
}

int TFakeList::Find(const std::wstring& name) const
{
    for (std::size_t i = 0; i < Names.size(); ++i) {
        if (CompareCategoryNames(Names[i], name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

TFakeStoreSetup& TFakeSource::AddStore(std::wstring key, std::optional<std::wstring> displayName,
                                      std::shared_ptr<TFakeList> list)
{
    auto setup = std::make_shared<TFakeStoreSetup>();
    setup->Key = std::move(key);
    setup->DisplayName = std::move(displayName);
    setup->List = std::move(list);
    return *Stores.emplace_back(std::move(setup));
}

std::vector<std::unique_ptr<ICategoryStore>> TFakeSource::ReadStores()
{
    Log.push_back(L"read");
    if (BeforeRead)
        BeforeRead(*this);
    if (!ReadFault.empty())
        throw EException(ReadFault);
    std::vector<std::unique_ptr<ICategoryStore>> stores;
    read_.clear();
    for (std::size_t i = 0; i < Stores.size(); ++i) {
        stores.push_back(std::make_unique<TFakeStore>(*this, Stores[i], i == 0));
        read_.push_back(Stores[i]->Key);
    }
    return stores;
}

void TFakeSource::EndCopy()
{
    for (const std::wstring& key : read_)
        Log.push_back(L"end " + key);
}

void TFakeSource::Reconnect()
{
    Log.push_back(L"reconnect");
}

std::vector<std::wstring> TFakeSource::Logged(const std::wstring& what) const
{
    std::vector<std::wstring> entries;
    for (const std::wstring& entry : Log) {
        if (entry.starts_with(what))
            entries.push_back(entry);
    }
    return entries;
}
