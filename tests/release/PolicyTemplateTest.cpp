// The policy templates that administrators import into Group Policy or Intune,
// held to what the program reads: a value the program reads that no policy
// offers can only be set with "reg add", and a policy for a value the program
// never reads does nothing while Intune reports it applied. Both templates are
// read with a scan of the little XML they use, enough to catch a broken file.
#include "identity/Microsoft365Settings.h"
#include "standins/outlook/StandInControl.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifndef PELLORIN_ADMX
#error "PELLORIN_ADMX and PELLORIN_ADML name the templates under test"
#endif

namespace {

struct TElement {
    std::string Name;
    std::map<std::string, std::string> Attributes;
    std::string Text;
    std::vector<std::unique_ptr<TElement>> Children;

    std::string Attribute(const std::string& name) const
    {
        const auto found = Attributes.find(name);
        return found == Attributes.end() ? std::string() : found->second;
    }

    // Every element below this one, at any depth, with that name.
    void Collect(const std::string& name, std::vector<const TElement*>& into) const
    {
        for (const auto& child : Children) {
            if (child->Name == name)
                into.push_back(child.get());
            child->Collect(name, into);
        }
    }

    std::vector<const TElement*> All(const std::string& name) const
    {
        std::vector<const TElement*> found;
        Collect(name, found);
        return found;
    }
};

// The templates need no entities; one would be read as written and differ
// from what Group Policy shows.
std::string WithoutEntities(const std::string& text)
{
    if (text.find('&') != std::string::npos)
        throw std::runtime_error("an entity in \"" + text + "\"");
    return text;
}

// Elements, attributes, text, comments and the declaration: what the
// templates hold. Throws on anything unbalanced or unterminated.
std::unique_ptr<TElement> ParseXml(const std::string& xml)
{
    auto document = std::make_unique<TElement>();
    std::vector<TElement*> open{document.get()};
    std::size_t at = 0;
    const auto skipTo = [&](const char* end) {
        const std::size_t found = xml.find(end, at);
        if (found == std::string::npos)
            throw std::runtime_error(std::string("no ") + end + " after offset " + std::to_string(at));
        at = found + std::string(end).size();
    };
    while (at < xml.size()) {
        if (xml[at] != '<') {
            const std::size_t next = xml.find('<', at);
            open.back()->Text += WithoutEntities(xml.substr(at, next - at));
            at = next == std::string::npos ? xml.size() : next;
        } else if (xml.compare(at, 4, "<!--") == 0) {
            skipTo("-->");
        } else if (xml.compare(at, 2, "<?") == 0) {
            skipTo("?>");
        } else if (xml.compare(at, 2, "</") == 0) {
            const std::size_t end = xml.find('>', at);
            if (end == std::string::npos)
                throw std::runtime_error("an unterminated end tag");
            const std::string name = xml.substr(at + 2, end - at - 2);
            if (open.size() < 2 || open.back()->Name != name)
                throw std::runtime_error("</" + name + "> closes " + open.back()->Name);
            open.pop_back();
            at = end + 1;
        } else {
            auto element = std::make_unique<TElement>();
            ++at;
            while (at < xml.size() && !std::isspace(static_cast<unsigned char>(xml[at])) && xml[at] != '>' &&
                   xml[at] != '/')
                element->Name += xml[at++];
            bool empty = false;
            for (;;) {
                while (at < xml.size() && std::isspace(static_cast<unsigned char>(xml[at])))
                    ++at;
                if (at >= xml.size())
                    throw std::runtime_error("an unterminated <" + element->Name + ">");
                if (xml.compare(at, 2, "/>") == 0) {
                    empty = true;
                    at += 2;
                    break;
                }
                if (xml[at] == '>') {
                    ++at;
                    break;
                }
                const std::size_t equals = xml.find('=', at);
                if (equals == std::string::npos || equals + 1 >= xml.size() || xml[equals + 1] != '"')
                    throw std::runtime_error("an attribute of <" + element->Name + "> without a quoted value");
                const std::size_t close = xml.find('"', equals + 2);
                if (close == std::string::npos)
                    throw std::runtime_error("an unterminated attribute value");
                const std::string name = xml.substr(at, equals - at);
                if (!element->Attributes.emplace(name, WithoutEntities(xml.substr(equals + 2, close - equals - 2))).second)
                    throw std::runtime_error("<" + element->Name + "> has " + name + " twice");
                at = close + 1;
            }
            TElement* raw = element.get();
            open.back()->Children.push_back(std::move(element));
            if (!empty)
                open.push_back(raw);
        }
    }
    if (open.size() != 1)
        throw std::runtime_error("<" + open.back()->Name + "> is never closed");
    if (document->Children.size() != 1)
        throw std::runtime_error("not exactly one root element");
    return document;
}

std::unique_ptr<TElement> ReadTemplate(const char* buildPath)
{
    std::ifstream file(std::filesystem::path(WindowsPath(buildPath)), std::ios::binary);
    if (!file)
        throw std::runtime_error(std::string("cannot open ") + buildPath);
    std::ostringstream text;
    text << file.rdbuf();
    return ParseXml(text.str());
}

std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text)
        out += static_cast<char>(*text);
    return out;
}

// "$(string.Name)" -> "Name", for the table named; empty for anything else.
std::string Reference(const std::string& text, const std::string& table)
{
    const std::string head = "$(" + table + ".";
    if (text.size() <= head.size() || text.compare(0, head.size(), head) != 0 || text.back() != ')')
        return {};
    return text.substr(head.size(), text.size() - head.size() - 1);
}

class PolicyTemplate : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_THROW(admx_ = ReadTemplate(PELLORIN_ADMX)) << PELLORIN_ADMX;
        ASSERT_NO_THROW(adml_ = ReadTemplate(PELLORIN_ADML)) << PELLORIN_ADML;
        definitions_ = admx_->Children.front().get();
        resources_ = adml_->Children.front().get();
    }

    std::unique_ptr<TElement> admx_;
    std::unique_ptr<TElement> adml_;
    const TElement* definitions_ = nullptr;
    const TElement* resources_ = nullptr;
};

TEST_F(PolicyTemplate, OffersExactlyTheMachineValuesTheProgramReads)
{
    std::set<std::pair<std::string, std::string>> read;
    for (const wchar_t* value : kMicrosoft365PolicyValues)
        read.emplace(Narrow(kMicrosoft365PolicyKey), Narrow(value));

    std::set<std::pair<std::string, std::string>> offered;
    for (const TElement* policy : definitions_->All("policy")) {
        // The program reads HKEY_LOCAL_MACHINE only: a User policy would write
        // where nothing looks.
        EXPECT_EQ(policy->Attribute("class"), "Machine") << policy->Attribute("name");
        std::vector<const TElement*> writers{policy};
        policy->Collect("text", writers);
        policy->Collect("decimal", writers);
        policy->Collect("enum", writers);
        policy->Collect("list", writers);
        policy->Collect("boolean", writers);
        for (const TElement* writer : writers) {
            const std::string valueName = writer->Attribute("valueName");
            if (valueName.empty())
                continue;
            const std::string key = writer->Attribute("key").empty() ? policy->Attribute("key") : writer->Attribute("key");
            EXPECT_TRUE(offered.emplace(key, valueName).second) << key << "\\" << valueName << " is offered twice";
        }
    }
    EXPECT_EQ(offered, read);
}

TEST_F(PolicyTemplate, IsWhatGroupPolicyAndIntuneLoad)
{
    EXPECT_EQ(definitions_->Name, "policyDefinitions");
    EXPECT_EQ(resources_->Name, "policyDefinitionResources");
    const auto targets = definitions_->All("target");
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_FALSE(targets.front()->Attribute("prefix").empty());
    EXPECT_FALSE(targets.front()->Attribute("namespace").empty());
    const auto resources = definitions_->All("resources");
    ASSERT_EQ(resources.size(), 1u);
    // An ADML older than the ADMX asks is refused.
    EXPECT_EQ(resources.front()->Attribute("minRequiredRevision"), resources_->Attribute("revision"));

    // Intune imports a vendor's template only under Software\Policies\<vendor>.
    for (const TElement* policy : definitions_->All("policy"))
        EXPECT_EQ(policy->Attribute("key").rfind("Software\\Policies\\Pellorin\\", 0), 0u) << policy->Attribute("key");

    std::set<std::string> categories;
    for (const TElement* category : definitions_->All("category"))
        categories.insert(category->Attribute("name"));
    for (const TElement* parent : definitions_->All("parentCategory"))
        EXPECT_TRUE(categories.count(parent->Attribute("ref"))) << "no category " << parent->Attribute("ref");
}

// The ADMX names its texts; a name the ADML lacks makes the whole template fail to load.
TEST_F(PolicyTemplate, EveryTextAndPresentationItNamesIsInTheLanguageFile)
{
    std::map<std::string, std::string> strings;
    for (const TElement* text : resources_->All("string"))
        strings[text->Attribute("id")] = text->Text;
    std::map<std::string, const TElement*> presentations;
    for (const TElement* presentation : resources_->All("presentation"))
        presentations[presentation->Attribute("id")] = presentation;

    std::vector<const TElement*> named = definitions_->All("category");
    for (const auto* list : {"policy", "definition"}) {
        for (const TElement* element : definitions_->All(list))
            named.push_back(element);
    }
    for (const TElement* element : named) {
        for (const char* attribute : {"displayName", "explainText"}) {
            const std::string text = element->Attribute(attribute);
            if (text.empty())
                continue;
            const std::string id = Reference(text, "string");
            ASSERT_FALSE(id.empty()) << element->Name << " " << attribute << "=" << text;
            EXPECT_TRUE(strings.count(id) && !strings[id].empty()) << "no text " << id;
        }
    }

    for (const TElement* policy : definitions_->All("policy")) {
        const std::string name = policy->Attribute("name");
        EXPECT_FALSE(policy->Attribute("explainText").empty()) << name << " has no help text";
        const auto elements = policy->All("elements");
        if (elements.empty())
            continue;
        const std::string id = Reference(policy->Attribute("presentation"), "presentation");
        ASSERT_TRUE(presentations.count(id)) << name << " has no presentation " << id;
        // Each box of the dialog is bound to one element of the policy.
        std::set<std::string> elementIds;
        for (const auto& element : elements.front()->Children)
            elementIds.insert(element->Attribute("id"));
        std::set<std::string> boxIds;
        for (const auto& box : presentations[id]->Children)
            boxIds.insert(box->Attribute("refId"));
        EXPECT_EQ(boxIds, elementIds) << name;
    }
}

TEST(PolicyTemplateScan, RefusesBrokenFiles)
{
    EXPECT_NO_THROW(ParseXml("<?xml version=\"1.0\"?><!-- a -->\n<a x=\"1\"><b/>t</a>"));
    for (const char* broken : {"<a><b></a></b>", "<a>", "<a x=1/>", "<a x=\"1\" x=\"2\"/>", "<a/><b/>", "<a><!-- </a>"})
        EXPECT_THROW(ParseXml(broken), std::runtime_error) << broken;
}

}  // namespace
