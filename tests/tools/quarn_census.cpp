// Test tool: opens a document, asks for everything the typed dictionary family binds (every
// page with its annotations and resources, the outline, the form, the names, the open action,
// threads, page labels), prints how many loaded objects are of each class group, and saves the
// document when an output is given.
//   quarn_census INPUT [OUTPUT] [-p PASSWORD]
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "pdf/content/actions.h"
#include "pdf/content/annotations.h"
#include "pdf/content/color_spaces.h"
#include "pdf/content/fields.h"
#include "pdf/content/functions_halftones.h"
#include "pdf/content/navigation.h"
#include "pdf/content/shadings_patterns.h"
#include "pdf/document/catalog.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/document/trailer.h"
#include "pdf/library/pdf_lib.h"

namespace {

using namespace quarn;

int Fail(const char* step, const CPDFErrorRecord& error) {
  std::fprintf(stderr, "%s failed: %s %s %d %s\n", step, error.Module().c_str(),
               error.Method().c_str(), error.Code(), error.Message().c_str());
  return 1;
}

// Walks the outline through its typed getters, as a program would; a looping or endless
// outline stops at the first item seen twice.
void VisitOutline(CPDFOutlines& outlines) {
  std::set<const CPDFObject*> seen;
  std::vector<CPDFOutlineItem*> todo;
  if (CPDFOutlineItem* first = outlines.Get_First()) todo.push_back(first);
  while (!todo.empty() && seen.size() < 1000000) {
    CPDFOutlineItem* item = todo.back();
    todo.pop_back();
    if (!seen.insert(item).second) continue;
    if (CPDFOutlineItem* next = item->Get_Next()) todo.push_back(next);
    if (CPDFOutlineItem* child = item->Get_First()) todo.push_back(child);
  }
}

void VisitCatalog(CPDFCatalog& catalog) {
  if (auto* outlines = dynamic_cast<CPDFOutlines*>(catalog.Get_Outlines())) VisitOutline(*outlines);
  catalog.Get_AcroForm();
  catalog.Get_Names();
  catalog.Get_Dests();
  catalog.Get_OpenAction();
  catalog.Get_Threads();
  catalog.Get_URI();
  catalog.Get_ViewerPreferences();
  catalog.Get_PageLabels();
}

// Counts the loaded objects of each class group, walking from the trailer and from the pages
// through direct values and loaded indirect objects (nothing is read for the count). The pages
// are roots of their own: a page-tree node that a walk in page order has passed over leaves
// memory, and the pages under it are no longer reached from the trailer.
std::map<std::string, int> Census(CPDFDoc& doc, const std::vector<const CPDFObject*>& pages) {
  std::map<std::string, int> counts;
  for (const char* group : {"annotations", "fields", "actions", "destinations", "outlines",
                            "shadings", "patterns", "functions", "colorspaces"}) {
    counts[group] = 0;
  }
  std::set<const CPDFObject*> seen;
  std::vector<const CPDFObject*> todo(pages);
  todo.push_back(&doc.GetTrailer()->Dict());
  auto push = [&](const CPDFAtom* atom) {
    if (!atom) return;
    if (atom->IsRef()) {
      if (const CPDFObject* target = doc.FindObj(*static_cast<const CPDFObjRef*>(atom), false)) {
        todo.push_back(target);
      }
    } else {
      todo.push_back(static_cast<const CPDFObject*>(atom));
    }
  };
  while (!todo.empty()) {
    const CPDFObject* value = todo.back();
    todo.pop_back();
    if (!seen.insert(value).second) continue;
    if (dynamic_cast<const CPDFAnnotation*>(value)) ++counts["annotations"];
    if (dynamic_cast<const CPDFField*>(value)) ++counts["fields"];
    if (dynamic_cast<const CPDFAction*>(value)) ++counts["actions"];
    if (dynamic_cast<const CPDFDestination*>(value)) ++counts["destinations"];
    if (dynamic_cast<const CPDFOutlineItem*>(value)) ++counts["outlines"];
    if (dynamic_cast<const CPDFShading*>(value)) ++counts["shadings"];
    if (dynamic_cast<const CPDFPattern*>(value)) ++counts["patterns"];
    if (dynamic_cast<const CPDFFunction*>(value)) ++counts["functions"];
    if (dynamic_cast<const CPDFColorSpace*>(value)) ++counts["colorspaces"];
    if (value->IsType(kTypeDict | kTypeStream)) {
      for (const auto& entry : *static_cast<const CPDFDict*>(value)) push(entry.second.get());
    } else if (value->IsType(kTypeArray)) {
      const auto* array = static_cast<const CPDFArray*>(value);
      for (size_t i = 0; i < array->Count(); ++i) push(array->At(i));
    }
  }
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, output, password;
  bool havePassword = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-p") == 0 && i + 1 < argc) {
      password = argv[++i];
      havePassword = true;
    } else if (input.empty()) {
      input = argv[i];
    } else {
      output = argv[i];
    }
  }
  if (input.empty()) {
    std::fprintf(stderr, "usage: quarn_census INPUT [OUTPUT] [-p PASSWORD]\n");
    return 2;
  }
  CPDFLib lib;
  CPDFErrorRecord error;
  auto doc = lib.OpenDoc(input, havePassword ? password.c_str() : nullptr, error);
  if (!doc) return Fail("open", error);
  std::vector<const CPDFObject*> pageRoots;
  if (!doc->IsFDF()) {
    const int pages = doc->GetPageCount();
    if (pages < 0) return Fail("page count", doc->LastError());
    for (int i = 0; i < pages; ++i) {
      CPDFPage* page = doc->GetPage(i);
      if (!page) return Fail("page", doc->LastError());
      pageRoots.push_back(page);
      page->Get_Resources();
      page->Get_Annots();
      page->Get_AA();
      page->Get_Trans();
      page->Get_Thumb();
    }
    if (CPDFCatalog* catalog = doc->GetTrailer()->Get_Root()) VisitCatalog(*catalog);
  }
  for (const auto& [group, count] : Census(*doc, pageRoots)) std::printf("%s %d\n", group.c_str(), count);
  if (!output.empty()) {
    if (!doc->Save(output.c_str(), false, false)) return Fail("save", doc->LastError());
    if (!doc->Flush()) return Fail("flush", doc->LastError());
  }
  return 0;
}
