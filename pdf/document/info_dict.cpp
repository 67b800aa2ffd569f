#include "pdf/document/info_dict.h"

#include <cstdio>

#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/trailer.h"

namespace quarn {

bool IsInfoDict(CPDFObjHolder*, CPDFObject* value) {
  return value && value->TypeCode() == kTypeDict;
}
bool IsTextString(CPDFObjHolder*, CPDFObject* value) { return AsString(value) != nullptr; }

bool CPDFText::Realize(CPDFObjHolder*, CPDFObject& source) {
  if (!AsString(&source)) return false;
  SwapContent(source);
  return true;
}

bool CPDFDate::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  if (!AsString(&source)) return false;
  SwapContent(source);
  return true;
}

void CPDFDate::SetNow() { SetTime(std::time(nullptr)); }

void CPDFDate::SetTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  Assign(text);
}

bool CPDFInfoDict::Create(CPDFObjHolder* doc) {
  BindDoc(doc);
  return true;
}

bool CPDFInfoDict::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  for (const char* key : {"Author", "Creator", "Producer", "Title", "Subject", "Keywords"}) {
    if (!BindEntry<CPDFText>(doc, *this, key, IsTextString)) return false;
  }
  for (const char* key : {"CreationDate", "ModDate"}) {
    if (!BindEntry<CPDFDate>(doc, *this, key, IsTextString)) return false;
  }
  return true;
}

// ---- CPDFDoc::SetDocInfo -----------------------------------------------------------------------

bool CPDFDoc::SetDocInfo() {
  ClearError();
  try {
    CPDFTrailer* trailer = GetTrailer();
    if (!trailer) Throw("CPDFDoc", "SetDocInfo", kInternalError, "CPDFDoc::GetTrailer()");
    CPDFDict& dict = trailer->Dict();
    CPDFInfoDict* info = nullptr;
    CPDFObjRef infoRef;
    if (dict.Lookup("Info")) {
      if (!BindEntry<CPDFInfoDict>(this, dict, "Info", IsInfoDict, &info)) {
        ThrowCode("CPDFDoc", "SetDocInfo", kInternalError);
      }
      dict.GetValue(this, "Info", &infoRef);
    }
    if (!info) {
      // No information dictionary (or an "Info" that is not one): the document gets a new one.
      auto fresh = std::make_unique<CPDFInfoDict>();
      infoRef.Reset();
      if (!fresh->Create(this) || !trailer->Set_Info(std::move(fresh), true, &infoRef)) {
        ThrowCode("CPDFDoc", "SetDocInfo", kInternalError);
      }
      info = trailer->Get_Info();
      if (!info) ThrowCode("CPDFDoc", "SetDocInfo", kInternalError);
    }
    if (infoRef.IsDefined() && !UpdateObj(infoRef)) {
      Throw("CPDFDoc", "SetDocInfo", kInternalError, "CPDFDoc::UpdateObj()");
    }
    auto date = std::make_unique<CPDFDate>();
    date->BindDoc(this);
    date->SetNow();
    const bool dated = info->Lookup("CreationDate") ? info->Set_ModDate(std::move(date))
                                                    : info->Set_CreationDate(std::move(date));
    if (!dated || !info->Set_Producer(std::make_unique<CPDFText>(kProducerName))) {
      ThrowCode("CPDFDoc", "SetDocInfo", kInternalError);
    }
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, "CPDFDoc", "SetDocInfo");
  }
  return false;
}

}  // namespace quarn
