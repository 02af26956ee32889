#include "quenfa/core/gmt_text.hpp"

#include <string_view>

#include "quenfa/core/text.hpp"

namespace quenfa {

namespace {

bool breaks_gmt_line(std::string_view field) {
  return field.find_first_of("\t\n\r") != std::string_view::npos;
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  out += text;
  out += '\'';
  return out;
}

}  // namespace

Status check_gmt_writable(const PathwayDb& pathways) {
  for (std::size_t i = 0; i < pathways.size(); ++i) {
    const Pathway& p = pathways[i];
    if (p.name.empty())
      return Error{"gene set at index " + std::to_string(i) + " has an empty name."};
    const std::string set = "gene set " + quoted(p.name);
    if (breaks_gmt_line(p.name)) return Error{set + ": the name contains a tab or a line break."};
    if (p.description && breaks_gmt_line(*p.description)) {
      return Error{set + ": the description contains a tab or a line break."};
    }
    if (p.genes.empty()) return Error{set + " has no genes."};
    for (const std::string& gene : p.genes) {
      if (gene.empty() || trim_unicode_whitespace(gene).size() != gene.size() ||
          breaks_gmt_line(gene)) {
        return Error{set + ": invalid gene identifier " + quoted(gene) +
                     " (empty, surrounded by white space, or holding a tab or a line break)."};
      }
    }
  }
  return ok_status();
}

std::string gmt_text(const PathwayDb& pathways) {
  std::string text;
  for (const Pathway& p : pathways) {
    text += p.name;
    text += '\t';
    if (p.description) text += *p.description;
    for (const std::string& gene : p.genes) {
      text += '\t';
      text += gene;
    }
    text += '\n';
  }
  return text;
}

}  // namespace quenfa
