#ifndef VELMAR_HTML_CHECKER_H
#define VELMAR_HTML_CHECKER_H

// A strict reader of generated HTML: every element closed in order (void elements and, inside svg, "/>" aside),
// every attribute value quoted and unique, no raw "<" or stray "&" in text or values, scripts with balanced
// brackets. It builds the element tree with references decoded, so tests can query what a browser would show.

#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace html {

struct Element {
  std::string tag;
  std::map<std::string, std::string> attrs;
  std::string text;  // the decoded text directly inside; raw for script and style
  std::vector<std::unique_ptr<Element>> children;
  Element* parent = nullptr;

  std::string attr(const std::string& name) const {
    auto it = attrs.find(name);
    return it == attrs.end() ? "" : it->second;
  }
  bool within(const std::string& ancestorTag) const {
    for (const Element* e = parent; e != nullptr; e = e->parent) {
      if (e->tag == ancestorTag) return true;
    }
    return false;
  }
  // Every element below this one in document order, or those with the tag.
  std::vector<const Element*> all(const std::string& only = "") const {
    std::vector<const Element*> found;
    for (const auto& c : children) {
      if (only.empty() || c->tag == only) found.push_back(c.get());
      for (const Element* d : c->all(only)) found.push_back(d);
    }
    return found;
  }
};

struct Document {
  std::unique_ptr<Element> root = std::make_unique<Element>();  // stays where it is when the document moves
  std::vector<std::string> errors;
};

// Brackets of a script balance once strings and comments are skipped.
inline bool balancedScript(const std::string& code) {
  std::string open;
  for (size_t i = 0; i < code.size(); i++) {
    const char c = code[i];
    if (c == '"' || c == '\'' || c == '`') {
      for (i++; i < code.size() && code[i] != c && code[i] != '\n'; i++) i += code[i] == '\\';
      if (i >= code.size() || code[i] != c) return false;
    } else if (code.compare(i, 2, "//") == 0) {
      i = code.find('\n', i);
      if (i == std::string::npos) break;
    } else if (code.compare(i, 2, "/*") == 0) {
      if ((i = code.find("*/", i + 2)) == std::string::npos) return false;
    } else if (c == '(' || c == '[' || c == '{') {
      open += c;
    } else if (c == ')' || c == ']' || c == '}') {
      if (open.empty() || open.back() != (c == ')' ? '(' : c == ']' ? '[' : '{')) return false;
      open.pop_back();
    }
  }
  return open.empty();
}

class Parser {
 public:
  explicit Parser(const std::string& page) : p_(page) {}

  Document parse() {
    const std::string doctype = "<!DOCTYPE html>";
    if (p_.compare(0, doctype.size(), doctype) != 0) fail("no doctype");
    size_t i = doctype.size();
    Element* cur = doc_.root.get();
    while (i < p_.size()) {
      const size_t lt = p_.find('<', i);
      cur->text += decode(p_.substr(i, lt == std::string::npos ? std::string::npos : lt - i));
      if (lt == std::string::npos) break;
      if (p_.compare(lt, 2, "</") == 0) {
        const size_t gt = p_.find('>', lt);
        const std::string name = p_.substr(lt + 2, gt - lt - 2);
        if (name != cur->tag) {
          fail("</" + name + "> closes <" + cur->tag + ">");
          break;
        }
        cur = cur->parent;
        i = gt + 1;
        continue;
      }
      if ((i = startTag(lt, cur)) == std::string::npos) break;
    }
    if (doc_.errors.empty() && cur != doc_.root.get()) fail("<" + cur->tag + "> not closed");
    return std::move(doc_);
  }

 private:
  const std::string& p_;
  Document doc_;

  void fail(const std::string& what) { doc_.errors.push_back(what); }

  std::string name(size_t& j) const {
    const size_t from = j;
    while (j < p_.size() &&
           (isalnum(static_cast<unsigned char>(p_[j])) || p_[j] == '-' || p_[j] == '_' || p_[j] == ':'))
      j++;
    return p_.substr(from, j - from);
  }

  // Reads the tag at `lt` into a new child of `cur` (which it may descend into); returns where the text goes on.
  size_t startTag(size_t lt, Element*& cur) {
    static const std::set<std::string> kVoid = {"br", "hr", "img", "input", "link", "meta", "wbr"};
    size_t j = lt + 1;
    auto e = std::make_unique<Element>();
    e->tag = name(j);
    e->parent = cur;
    if (e->tag.empty()) return fail("raw < in text"), std::string::npos;
    bool selfClosed = false;
    for (;;) {
      while (j < p_.size() && isspace(static_cast<unsigned char>(p_[j]))) j++;
      if (j >= p_.size()) return fail("unterminated <" + e->tag), std::string::npos;
      if (p_[j] == '>' || p_.compare(j, 2, "/>") == 0) {
        selfClosed = p_[j] == '/';
        j += selfClosed ? 2 : 1;
        break;
      }
      const std::string attr = name(j);
      if (attr.empty()) return fail("bad attribute in <" + e->tag), std::string::npos;
      std::string value;
      if (p_[j] == '=') {
        const char quote = p_[++j];
        const size_t end = p_.find(quote, j + 1);
        if ((quote != '"' && quote != '\'') || end == std::string::npos) {
          return fail("unquoted " + attr + " in <" + e->tag), std::string::npos;
        }
        value = decode(p_.substr(j + 1, end - j - 1));
        j = end + 1;
      }
      if (!e->attrs.emplace(attr, value).second) fail("duplicate " + attr + " in <" + e->tag);
    }
    Element* made = e.get();
    cur->children.push_back(std::move(e));
    const bool foreign = made->tag == "svg" || made->within("svg");
    if (selfClosed && !foreign && !kVoid.count(made->tag)) fail("self-closed <" + made->tag + ">");
    if (selfClosed || kVoid.count(made->tag)) return j;
    if (made->tag == "script" || made->tag == "style") {
      const size_t end = p_.find("</" + made->tag + ">", j);
      if (end == std::string::npos) return fail("unterminated " + made->tag), std::string::npos;
      made->text = p_.substr(j, end - j);
      if (made->tag == "script" && !balancedScript(made->text)) fail("unbalanced script");
      return end + made->tag.size() + 3;
    }
    cur = made;
    return j;
  }

  // Text or an attribute value with its references decoded; a raw "<" or a "&" that starts no reference is an error.
  std::string decode(const std::string& s) {
    static const std::map<std::string, std::string> kNamed = {
        {"amp", "&"},           {"lt", "<"},          {"gt", ">"}, {"quot", "\""}, {"#39", "'"},
        {"middot", "\xC2\xB7"}, {"times", "\xC3\x97"}};
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
      if (s[i] == '<') fail("raw < in " + s.substr(0, 40));
      if (s[i] != '&') {
        out += s[i];
        continue;
      }
      const size_t semi = s.find(';', i);
      auto it = semi == std::string::npos ? kNamed.end() : kNamed.find(s.substr(i + 1, semi - i - 1));
      if (it == kNamed.end()) {
        fail("stray & in " + s.substr(i, 20));
        out += '&';
        continue;
      }
      out += it->second;
      i = semi;
    }
    return out;
  }
};

inline Document parse(const std::string& page) { return Parser(page).parse(); }

}  // namespace html

#endif
