#include "pdf/font/cid_font.h"

#include <limits>
#include <functional>
#include <set>

#include "pdf/document/doc.h"
#include "pdf/document/lib_base.h"
#include "pdf/font/afm_file.h"
#include "pdf/font/cmap_file.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/type0_font.h"

namespace quarn {

namespace {

constexpr const char* kCIDFontModule = "CPDFCIDFont";

// A number read from the file, in place as an integer object (an indirect one keeps its
// identity). A width with a fractional part stays as it was read: made an integer it would be
// cut short, and every reader would space the text differently.
bool ToInteger(CPDFObjHolder* doc, CPDFAtom* atom, const std::function<bool(std::unique_ptr<CPDFInt>)>& put) {
  CPDFObjRef ref;
  CPDFObject* value = Resolve(doc, atom, &ref);
  if (!value || value->TypeCode() != kTypeNumber) return true;
  const auto* number = static_cast<CPDFNumber*>(value);
  if (static_cast<float>(number->IntValue()) != number->RealValue()) return true;
  auto integer = std::make_unique<CPDFInt>(number->IntValue());
  integer->CopyFlagsFrom(*value);
  if (atom->IsRef()) return ReplaceIndirect(doc, ref, std::move(integer));
  return put(std::move(integer));
}

// The numbers of a W array (and of its nested width lists) become integers, in place.
bool IntegersInW(CPDFObjHolder* doc, CPDFArray& w) {
  for (size_t i = 0; i < w.Count(); ++i) {
    CPDFAtom* atom = w.At(i);
    if (!atom->IsRef() && static_cast<CPDFObject*>(atom)->TypeCode() == kTypeArray) {
      auto* list = static_cast<CPDFArray*>(atom);
      for (size_t j = 0; j < list->Count(); ++j) {
        if (!ToInteger(doc, list->At(j), [&](std::unique_ptr<CPDFInt> v) {
              list->Replace(j, std::move(v));
              return true;
            })) {
          return false;
        }
      }
      continue;
    }
    if (!ToInteger(doc, atom, [&](std::unique_ptr<CPDFInt> v) {
          w.Replace(i, std::move(v));
          return true;
        })) {
      return false;
    }
  }
  return true;
}

struct CIDKind {
  int kind;
  Recognizer recognize;
  CIDFontBinder bind;
};

bool BindType0CIDFont(CPDFObjHolder* doc, CPDFArray& array, size_t index) {
  return BindElement<CPDFType0CIDFont>(doc, array, index, IsType0CIDFont);
}

std::vector<CIDKind>& CIDKinds() {
  static std::vector<CIDKind> kinds{{kCIDFontType0, IsType0CIDFont, BindType0CIDFont}};
  return kinds;
}

int32_t Clamp(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace

// ---- CPDFCIDSysInfo ------------------------------------------------------------------------

bool IsCIDSysInfo(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsDict(value);
  return dict && dict->GetString(doc, "Registry") && dict->GetString(doc, "Ordering") &&
         AsNumber(dict->GetValue(doc, "Supplement"));
}

bool CPDFCIDSysInfo::Create(CPDFObjHolder* doc, const std::string& registry,
                            const std::string& ordering, int32_t supplement) {
  BindDoc(doc);
  return Set_Registry(std::make_unique<CPDFString>(registry)) &&
         Set_Ordering(std::make_unique<CPDFString>(ordering)) &&
         Set_Supplement(std::make_unique<CPDFInt>(supplement));
}

bool CPDFCIDSysInfo::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  return true;
}

// ---- CPDFCIDFont ---------------------------------------------------------------------------

bool IsCIDFont(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsFont(doc, value)) return false;
  auto* dict = static_cast<CPDFDict*>(value);
  return dict->GetDict(doc, "CIDSystemInfo") && dict->GetDict(doc, "FontDescriptor");
}

bool CPDFCIDFont::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  if (!CPDFFont::Realize(doc, source)) return false;
  if (!BindEntry<CPDFCIDSysInfo>(doc, *this, "CIDSystemInfo", IsCIDSysInfo) ||
      !BindEntry<CPDFFontDesc>(doc, *this, "FontDescriptor", IsFontDesc)) {
    return false;
  }
  if (CPDFAtom* dw = Lookup("DW")) {
    if (!ToInteger(doc, dw, [&](std::unique_ptr<CPDFInt> v) { return Insert("DW", std::move(v)); }))
      return false;
  }
  CPDFArray* w = Get_W();
  return !w || IntegersInW(doc, *w);
}

int32_t CPDFCIDFont::CalcStringWidth(const char* cids, size_t length) {
  CPDFArray* w = Get_W();
  if (!w) return 0;
  CPDFNumber* dwEntry = AsNumber(GetValue(Doc(), "DW"));
  const int64_t dw = dwEntry ? dwEntry->IntValue() : 0;
  std::multiset<uint16_t> pending;
  for (size_t i = 0; cids && i + 1 < length; i += 2) {
    pending.insert(static_cast<uint16_t>(static_cast<uint8_t>(cids[i]) << 8 |
                                         static_cast<uint8_t>(cids[i + 1])));
  }
  int64_t total = 0;
  // Every collected CID within first..last adds `width` and leaves the set.
  auto take = [&](int64_t first, int64_t last, const std::function<int64_t(int64_t)>& width) {
    if (last < first || last < 0 || first > 0xFFFF) return;
    auto it = pending.lower_bound(static_cast<uint16_t>(std::max<int64_t>(first, 0)));
    while (it != pending.end() && *it <= last) {
      total += width(*it - first);
      it = pending.erase(it);
    }
  };
  const int count = static_cast<int>(w->Count());
  for (int i = 0; i < count && !pending.empty();) {
    CPDFNumber* first = AsNumber(w->GetObj(Doc(), i));
    CPDFObject* next = i + 1 < count ? w->GetObj(Doc(), i + 1) : nullptr;
    if (!first || !next) return -1;
    if (CPDFArray* list = AsArray(next)) {
      std::vector<int64_t> widths;
      for (int j = 0; j < static_cast<int>(list->Count()); ++j) {
        CPDFNumber* value = AsNumber(list->GetObj(Doc(), j));
        if (!value) return -1;
        widths.push_back(value->IntValue());
      }
      if (!widths.empty()) {
        take(first->IntValue(), int64_t{first->IntValue()} + static_cast<int64_t>(widths.size()) - 1,
             [&](int64_t offset) { return widths[static_cast<size_t>(offset)]; });
      }
      i += 2;
      continue;
    }
    CPDFNumber* last = AsNumber(next);
    CPDFNumber* width = i + 2 < count ? AsNumber(w->GetObj(Doc(), i + 2)) : nullptr;
    if (!last || !width) return -1;
    const int64_t value = width->IntValue();
    take(first->IntValue(), last->IntValue(), [value](int64_t) { return value; });
    i += 3;
  }
  return Clamp(total + dw * static_cast<int64_t>(pending.size()));
}

void CPDFCIDFont::PackWidths(const std::vector<std::pair<uint16_t, int32_t>>& widths,
                             const char* module, const char* operation) {
  CPDFNumber* dwEntry = AsNumber(GetValue(Doc(), "DW"));
  int32_t dw = 1000;
  if (dwEntry) {
    dw = dwEntry->IntValue();
  } else if (!Set_DW(std::make_unique<CPDFInt>(1000))) {
    Throw(module, operation, kInternalError, "CPDFCIDFont::Set_DW()");
  }
  CPDFObjRef wRef;
  CPDFArray* w = Get_W(&wRef);
  if (w && wRef.IsDefined() && !(Doc() && Doc()->UpdateObj(wRef))) {
    Throw(module, operation, kInternalError, "CPDFDoc::UpdateObj()");
  }
  if (!w) {
    if (!Set_W(std::make_unique<CPDFArray>())) {
      Throw(module, operation, kInternalError, "CPDFCIDFont::Set_W()");
    }
    w = Get_W();
  }
  w->ClearItems();

  enum class Open { kNone, kList, kRange };
  Open open = Open::kNone;
  std::unique_ptr<CPDFArray> list;
  int32_t rangeFirst = 0;
  auto emitRange = [&](int32_t first, int32_t last, int32_t width) {
    w->Push_Back(std::make_unique<CPDFInt>(first));
    w->Push_Back(std::make_unique<CPDFInt>(last));
    w->Push_Back(std::make_unique<CPDFInt>(width));
  };
  auto startList = [&](int32_t first) {
    w->Push_Back(std::make_unique<CPDFInt>(first));
    list = std::make_unique<CPDFArray>();
    open = Open::kList;
  };
  auto closeList = [&] {
    w->Push_Back(std::move(list));
    open = Open::kNone;
  };
  // Writes the held glyph into the open entry and closes it (a list of one when none is open).
  auto closeWith = [&](const std::pair<uint16_t, int32_t>& g) {
    if (open == Open::kRange) {
      emitRange(rangeFirst, g.first, g.second);
      open = Open::kNone;
      return;
    }
    if (open == Open::kNone) startList(g.first);
    list->Push_Back(std::make_unique<CPDFInt>(g.second));
    closeList();
  };

  // The glyph before, not yet written (when `holding`).
  bool holding = false;
  std::pair<uint16_t, int32_t> held{0, 0};
  for (const auto& g : widths) {
    if (g.second == dw) {
      if (holding) closeWith(held);
      holding = false;
      continue;
    }
    if (holding && g.first != held.first + 1) {
      closeWith(held);
      holding = false;
    }
    if (!holding) {
      held = g;
      holding = true;
      continue;
    }
    if (g.second == held.second) {
      if (open == Open::kList) closeList();
      if (open != Open::kRange) {
        rangeFirst = held.first;
        open = Open::kRange;
      }
    } else if (open == Open::kRange) {
      emitRange(rangeFirst, held.first, held.second);
      open = Open::kNone;
    } else {
      if (open == Open::kNone) startList(held.first);
      list->Push_Back(std::make_unique<CPDFInt>(held.second));
    }
    held = g;
  }
  if (holding) closeWith(held);
}

// ---- CPDFType0CIDFont ----------------------------------------------------------------------

bool IsType0CIDFont(CPDFObjHolder* doc, CPDFObject* value) {
  return IsCIDFont(doc, value) &&
         static_cast<CPDFDict*>(value)->HasName(doc, "Subtype", "CIDFontType0");
}

bool CPDFType0CIDFont::CreateWidths() {
  static constexpr const char* kOp = "CreateWidths";
  try {
    CPDFName* baseFont = Get_BaseFont();
    FontCaches* caches = Caches();
    const AFMFile* metrics = baseFont && caches ? caches->FindMetrics(baseFont->Str()) : nullptr;
    if (!metrics || !metrics->IsCIDFont()) return false;
    std::vector<std::pair<uint16_t, int32_t>> widths;
    widths.reserve(metrics->GlyphsByCID().size());
    for (const auto& [cid, glyph] : metrics->GlyphsByCID()) widths.emplace_back(cid, glyph.wx);
    PackWidths(widths, kCIDFontModule, kOp);
    return true;
  } catch (const CPDFException& e) {
    Report(e);
  } catch (...) {
    Report(CPDFException(kCIDFontModule, kOp, kInternalError, ""));
  }
  return false;
}

std::unique_ptr<CPDFType0Font> CPDFType0CIDFont::CreateFont(CPDFObjHolder* doc,
                                                            const std::string& fontName,
                                                            const std::string& cmapName) {
  static constexpr const char* kModule = "CPDFType0CIDFont";
  static constexpr const char* kOp = "CreateFont";
  CPDFObjRef descendantRef;
  try {
    CPDFLibBase* lib = LibOf(doc);
    if (!lib) ThrowCode(kModule, kOp, kInternalError);
    const std::string cmap = cmapName.empty() ? lib->HostCMapName() + "-H" : cmapName;
    FontCaches* cachesOf = FontCachesOf(doc);
    if (!cachesOf) ThrowCode(kModule, kOp, kInternalError);
    FontCaches& caches = *cachesOf;
    const AFMFile* metrics = caches.FindMetrics(fontName);
    if (!metrics) Throw(kModule, kOp, kUserError, Format("AFM file not found: %s", fontName.c_str()));
    if (!metrics->IsCIDFont()) {
      Throw(kModule, kOp, kUserError, Format("invalid AFM file: %s", fontName.c_str()));
    }
    const CMapFile* encoding = caches.FindCMap(cmap);
    if (!encoding) Throw(kModule, kOp, kUserError, Format("CMap file not found: %s", cmap.c_str()));

    auto require = [](bool ok, const char* step) {
      if (!ok) Throw(kModule, kOp, kInternalError, step);
    };
    auto sysInfo = std::make_unique<CPDFCIDSysInfo>();
    require(sysInfo->Create(doc, encoding->Registry(), encoding->Ordering(), encoding->Supplement()),
            "CPDFCIDSysInfo::Create()");
    std::unique_ptr<CPDFFontDesc> desc = CreateFontDescFromMetrics(doc, fontName, *metrics, 4);
    require(desc != nullptr, "CPDFFontDesc::Create()");

    auto cidFont = std::make_unique<CPDFType0CIDFont>();
    require(cidFont->CPDFFont::Create(doc, fontName) &&
                cidFont->Set_Subtype(std::make_unique<CPDFName>("CIDFontType0")) &&
                cidFont->Set_CIDSystemInfo(std::move(sysInfo)) &&
                cidFont->Set_FontDescriptor(std::move(desc)) &&
                cidFont->Set_DW(std::make_unique<CPDFInt>(1000)) &&
                cidFont->Set_W(std::make_unique<CPDFArray>()),
            "CPDFType0CIDFont::Create()");
    require(doc->RegistObj(std::move(cidFont), &descendantRef), "CPDFDoc::RegistObj()");
    auto descendants = std::make_unique<CPDFArray>();
    descendants->Push_Back(std::make_unique<CPDFObjRef>(descendantRef));

    auto font = std::make_unique<CPDFType0Font>();
    require(font->CPDFFont::Create(doc, fontName + "-" + cmap) &&
                font->Set_Subtype(std::make_unique<CPDFName>("Type0")) &&
                font->Set_Encoding(std::make_unique<CPDFName>(cmap)) &&
                font->Set_DescendantFonts(std::move(descendants)),
            "CPDFType0Font::Create()");
    if (!font->CreateWidths()) {
      doc->DeleteObj(descendantRef);
      return nullptr;  // reported
    }
    return font;
  } catch (const CPDFException& e) {
    if (doc) doc->LastError().Keep(e);
  } catch (...) {
    if (doc) doc->LastError().Keep(CPDFException(kModule, kOp, kInternalError, ""));
  }
  if (doc && descendantRef.IsDefined()) doc->DeleteObj(descendantRef);
  return nullptr;
}

// ---- the CID font loader -------------------------------------------------------------------

void RegisterCIDFontKind(int kind, Recognizer recognize, CIDFontBinder bind) {
  CIDKinds().push_back({kind, recognize, bind});
}

bool LoadCIDFont(CPDFObjHolder* doc, CPDFArray& array, size_t index, int kinds) {
  CPDFObject* value = Resolve(doc, array.At(index));
  if (!value || dynamic_cast<CPDFCIDFont*>(value)) return true;
  for (const CIDKind& kind : CIDKinds()) {
    if ((kinds & kind.kind) != 0 && kind.recognize(doc, value)) return kind.bind(doc, array, index);
  }
  return true;
}

}  // namespace quarn
