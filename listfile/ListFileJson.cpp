// The list file in the shape Microsoft Graph lists a mailbox's categories:
// {"value":[{"id":"...","displayName":"...","color":"preset3"}, ...]}.
//
// It is read through nlohmann/json's SAX interface, so that each entry's line
// is known: an error or a warning about an entry names the line of its "{",
// an error about the whole shape names line 1, and a syntax error the line
// where nlohmann/json stopped.
#include "listfile/ListFileParts.h"

#include "base/Errors.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

namespace {

using Json = nlohmann::json;

constexpr std::wstring_view kNotGraphShape =
    L"not a category list in Microsoft Graph's shape {\"value\":[{\"displayName\":\"...\",\"color\":\"preset0\"}]}";

// Graph pages a long list and names the next page here; a file saved from one
// answer holds the first page alone.
//   https://learn.microsoft.com/graph/paging
constexpr std::wstring_view kNextPage =
    L"the file holds one page of a longer list (it has \"@odata.nextLink\"), so it may be incomplete: the "
    L"categories on the pages after it are not imported";

// Lines of the bytes nlohmann/json has taken so far. The lexer reads one
// character past a number, so the line is the one of the last character that
// was not white space.
struct TLineCount {
    int Current = 1;
    int LastToken = 1;

    void Pass(char c)
    {
        if (c == '\n')
            ++Current;
        else if (c != ' ' && c != '\t' && c != '\r')
            LastToken = Current;
    }
};

class TCountingIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TCountingIterator() = default;
    TCountingIterator(const char* at, TLineCount* count) : at_(at), count_(count) {}

    reference operator*() const { return *at_; }
    TCountingIterator& operator++()
    {
        count_->Pass(*at_);
        ++at_;
        return *this;
    }
    TCountingIterator operator++(int)
    {
        TCountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const TCountingIterator& other) const { return at_ == other.at_; }

private:
    const char* at_ = nullptr;
    TLineCount* count_ = nullptr;
};

// Walks the document as nlohmann/json reports it, keeping only the entries'
// displayName and color; every other property, however deep, is passed over.
class TGraphListSax {
public:
    TGraphListSax(TListCollector& collector, const TLineCount& count) : collector_(collector), count_(count) {}

    bool null() { return Scalar(TValue::Null, {}); }
    bool boolean(bool) { return Scalar(TValue::Other, {}); }
    bool number_integer(Json::number_integer_t) { return Scalar(TValue::Other, {}); }
    bool number_unsigned(Json::number_unsigned_t) { return Scalar(TValue::Other, {}); }
    bool number_float(Json::number_float_t, const Json::string_t&) { return Scalar(TValue::Other, {}); }
    bool string(Json::string_t& text) { return Scalar(TValue::String, text); }
    bool binary(Json::binary_t&) { return Scalar(TValue::Other, {}); }

    bool start_object(std::size_t)
    {
        switch (Slot()) {
        case TSlot::Root:
            return Open(TFrame::Root);
        case TSlot::Element:
            entry_ = TEntry{count_.LastToken, std::nullopt, {}};
            return Open(TFrame::Entry);
        case TSlot::Ignored:
            return Open(TFrame::Ignored);
        default:
            return Wrong();
        }
    }
    bool start_array(std::size_t)
    {
        switch (Slot()) {
        case TSlot::ValueList:
            sawValueList_ = true;
            return Open(TFrame::ValueList);
        case TSlot::Ignored:
            return Open(TFrame::Ignored);
        default:
            return Wrong();
        }
    }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }

    bool key(Json::string_t& name)
    {
        if (frames_.back() == TFrame::Root && name == "@odata.nextLink")
            collector_.Remark(count_.LastToken, kNextPage);
        if (frames_.back() == TFrame::Root)
            next_ = name == "value" ? TSlot::ValueList : TSlot::Ignored;
        else if (frames_.back() == TFrame::Entry)
            next_ = name == "displayName" ? TSlot::DisplayName : name == "color" ? TSlot::Color : TSlot::Ignored;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const Json::exception&)
    {
        syntaxLine_ = count_.LastToken;
        return false;
    }

    // After the parse: raises for a syntax error or a wrong shape.
    void Finish(bool parsed) const
    {
        if (!parsed && wrongLine_)
            collector_.Fail(wrongLine_, kNotGraphShape);
        if (!parsed)
            collector_.Fail(syntaxLine_, L"not valid JSON (a syntax error)");
        if (!sawValueList_)
            collector_.Fail(1, kNotGraphShape);
    }

private:
    enum class TFrame { Root, ValueList, Entry, Ignored };
    enum class TSlot { Root, ValueList, Element, DisplayName, Color, Ignored };
    enum class TValue { Null, String, Other };
    struct TEntry {
        int Line = 0;
        std::optional<std::wstring> Name;
        std::wstring Color;
    };

    // What the value that starts now stands for.
    TSlot Slot() const
    {
        if (frames_.empty())
            return TSlot::Root;
        switch (frames_.back()) {
        case TFrame::ValueList:
            return TSlot::Element;
        case TFrame::Root:
        case TFrame::Entry:
            return next_;
        case TFrame::Ignored:
            break;
        }
        return TSlot::Ignored;
    }

    bool Scalar(TValue kind, const Json::string_t& text)
    {
        switch (Slot()) {
        case TSlot::DisplayName:
            if (kind != TValue::String)
                return Wrong();
            entry_.Name = FromUtf8(text);
            return true;
        case TSlot::Color:
            if (kind == TValue::Other)
                return Wrong();
            entry_.Color = FromUtf8(text);
            return true;
        case TSlot::Ignored:
            return true;
        default:
            return Wrong();
        }
    }

    bool Open(TFrame frame)
    {
        frames_.push_back(frame);
        return true;
    }

    bool Close()
    {
        const TFrame closed = frames_.back();
        frames_.pop_back();
        if (closed != TFrame::Entry)
            return true;
        if (!entry_.Name) {
            wrongLine_ = entry_.Line;
            return false;
        }
        collector_.Add(entry_.Line, std::move(*entry_.Name), entry_.Color);
        return true;
    }

    // Inside an entry the entry's line is the one to mend; elsewhere the
    // shape is wrong as a whole.
    bool Wrong()
    {
        wrongLine_ = std::find(frames_.begin(), frames_.end(), TFrame::Entry) != frames_.end() ? entry_.Line
                     : Slot() == TSlot::Element                                                ? count_.LastToken
                                                                                               : 1;
        return false;
    }

    TListCollector& collector_;
    const TLineCount& count_;
    std::vector<TFrame> frames_;
    TSlot next_ = TSlot::Ignored;
    TEntry entry_;
    bool sawValueList_ = false;
    int wrongLine_ = 0;
    int syntaxLine_ = 1;
};

}  // namespace

void ReadJsonList(std::string_view bytes, TListCollector& collector)
{
    const TByteOrderMark mark = ByteOrderMarkOf(bytes);
    bytes.remove_prefix(ByteOrderMarkSize(mark));
    std::string utf16Text;
    if (mark == TByteOrderMark::Utf16Le || mark == TByteOrderMark::Utf16Be) {
        utf16Text = ToUtf8(Utf16Units(bytes, mark == TByteOrderMark::Utf16Be));
        bytes = utf16Text;
    }
    TLineCount count;
    TGraphListSax sax(collector, count);
    const bool parsed = Json::sax_parse(TCountingIterator(bytes.data(), &count),
                                        TCountingIterator(bytes.data() + bytes.size(), &count), &sax);
    sax.Finish(parsed);
}

std::string FormatJsonList(const std::vector<TListFileEntry>& entries)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const TListFileEntry& entry : entries) {
        nlohmann::ordered_json item;
        item["displayName"] = ToUtf8(entry.Name);
        if (entry.Color)
            if (const auto name = entry.Color->GraphName())
                item["color"] = ToUtf8(*name);
        list.push_back(std::move(item));
    }
    nlohmann::ordered_json root;
    root["value"] = std::move(list);
    return root.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
