#include "FakeStores.h"

#include "base/Errors.h"
#include "base/Platform.h"

namespace {

class TFakeStore final : public ICategoryStore {
public:
    TFakeStore(TFakeSource& source, std::shared_ptr<TFakeStoreSpec> spec, bool isDefault)
        : source_(source), spec_(std::move(spec)), key_(spec_->Key), displayName_(spec_->DisplayName),
          isDefault_(isDefault), error_(spec_->Unreadable)
    {
        if (error_.empty())
            Take();
    }

    std::wstring Key() const override { return key_; }
    bool HasKey(std::wstring_view key) const override { return SameTextIgnoringCase(key_, key); }
    std::optional<std::wstring> DisplayName() const override { return displayName_; }
    bool IsDefault() const override { return isDefault_; }
    bool Readable() const override { return error_.empty(); }
    std::wstring Error() const override { return error_; }
    const TCategorySet& Names() const override { return names_; }

    std::optional<TCategoryColor> ColorOf(const std::wstring& name) override
    {
        source_.Log.push_back(L"color " + key_ + L" " + name);
        const int at = spec_->List->Find(name);
        return at < 0 ? std::nullopt : spec_->List->Colors[static_cast<std::size_t>(at)];
    }

    void ReRead() override
    {
        source_.Log.push_back(L"reread " + key_);
        if (!spec_->ReReadFault.empty())
            throw EException(spec_->ReReadFault);
        Take();
    }

    TAddOutcome Add(const std::wstring& name, std::optional<TCategoryColor> color) override
    {
        source_.Log.push_back(L"add " + key_ + L" " + name);
        if (!spec_->AddFault.empty())
            throw EException(spec_->AddFault);
        if (const auto refused = spec_->Refusals.find(name); refused != spec_->Refusals.end())
            return {false, refused->second};
        spec_->List->Names.push_back(name);
        spec_->List->Colors.push_back(color);
        names_.Add(name);
        return {true, {}};
    }

    TColorOutcome SetColor(const std::wstring& name, TCategoryColor color) override
    {
        source_.Log.push_back(L"recolour " + key_ + L" " + name + L" " + std::to_wstring(color.OutlookValue()));
        if (const auto refused = spec_->ColorRefusals.find(name); refused != spec_->ColorRefusals.end())
            return {false, refused->second};
        const int at = spec_->List->Find(name);
        if (at < 0)
            return {false, L"gone"};
        spec_->List->Colors[static_cast<std::size_t>(at)] = color;
        return {true, {}};
    }

    void EndCopy() override { source_.Log.push_back(L"end " + key_); }

private:
    void Take()
    {
        names_.Clear();
        for (const std::wstring& name : spec_->List->Names)
            names_.Add(name);
    }

    TFakeSource& source_;
    std::shared_ptr<TFakeStoreSpec> spec_;
    std::wstring key_;
    std::optional<std::wstring> displayName_;
    bool isDefault_;
    std::wstring error_;
    TCategorySet names_;
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

TFakeStoreSpec& TFakeSource::AddStore(std::wstring key, std::optional<std::wstring> displayName,
                                      std::shared_ptr<TFakeList> list)
{
    auto spec = std::make_shared<TFakeStoreSpec>();
    spec->Key = std::move(key);
    spec->DisplayName = std::move(displayName);
    spec->List = std::move(list);
    return *Stores.emplace_back(std::move(spec));
}

std::vector<std::unique_ptr<ICategoryStore>> TFakeSource::ReadStores()
{
    Log.push_back(L"read");
    if (BeforeRead)
        BeforeRead(*this);
    if (!ReadFault.empty())
        throw EException(ReadFault);
    std::vector<std::unique_ptr<ICategoryStore>> stores;
    for (std::size_t i = 0; i < Stores.size(); ++i)
        stores.push_back(std::make_unique<TFakeStore>(*this, Stores[i], i == 0));
    return stores;
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
