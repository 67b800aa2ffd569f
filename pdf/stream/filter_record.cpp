#include "pdf/stream/filter_record.h"

#include <cstddef>
#include <new>

#include "pdf/object/exception.h"
#include "pdf/object/limits.h"
#include "pdf/stream/filter_frame.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFStream";
constexpr const char* kMethod = "EncodeFilter";

void PushBack(CPDFArray& array, std::unique_ptr<CPDFAtom> atom) {
  try {
    array.Push_Back(std::move(atom));
  } catch (const std::bad_alloc&) {
    Throw(kModule, kMethod, kInternalError, "CPDFArray::Push_Back()");
  } catch (const CPDFException&) {
    Throw(kModule, kMethod, kInternalError, "CPDFArray::Push_Back()");
  }
}

std::unique_ptr<CPDFObject> ParmsOrNull(std::unique_ptr<CPDFObject> parms) {
  if (parms) return parms;
  return std::make_unique<CPDFNull>();
}

// [first, old...]: a fresh array, so that an array shared as an indirect object with other
// streams is never changed under them. Elements keep their form (references stay references).
std::unique_ptr<CPDFArray> Prepend(std::unique_ptr<CPDFObject> first, const CPDFArray& old) {
  auto array = std::make_unique<CPDFArray>();
  PushBack(*array, std::move(first));
  for (size_t i = 0; i < old.Count(); ++i) PushBack(*array, old.At(i)->CloneAtom());
  return array;
}

// [first, old]: the old entry kept as stored (a reference stays a reference).
std::unique_ptr<CPDFArray> Pair(std::unique_ptr<CPDFObject> first, const CPDFAtom& old) {
  auto array = std::make_unique<CPDFArray>();
  PushBack(*array, std::move(first));
  PushBack(*array, old.CloneAtom());
  return array;
}

std::unique_ptr<CPDFArray> Single(std::unique_ptr<CPDFObject> only) {
  auto array = std::make_unique<CPDFArray>();
  PushBack(*array, std::move(only));
  return array;
}

void CheckChainLength(size_t filters) {
  if (filters > static_cast<size_t>(limits::kMaxFiltersPerStream)) {
    Throw(kModule, kMethod, kUserError, "too many filters");
  }
}

}  // namespace

CPDFFilterRecord CPDFFilterRecord::Prepare(const CPDFStream& stream, const char* name,
                                           std::unique_ptr<CPDFObject> parms) {
  CPDFFilterRecord record;
  auto newName = std::make_unique<CPDFName>(name);
  CPDFObjHolder* doc = stream.Doc();
  const CPDFAtom* storedFilter = stream.Lookup("Filter");
  const CPDFAtom* storedParms = stream.Lookup("DecodeParms");

  if (!storedFilter) {
    record.m_filter = std::move(newName);
    record.m_parms = std::move(parms);
    return record;
  }

  // An entry that is there but cannot be read is not taken for an absent one: overwriting it
  // could drop an encoding the data still carries.
  CPDFObject* filter = stream.GetValue(doc, "Filter");
  if (filter && filter->IsType(kTypeName)) {
    record.m_filter = Pair(std::move(newName), *storedFilter);
    if (storedParms) {
      record.m_parms = Pair(ParmsOrNull(std::move(parms)), *storedParms);
    } else if (parms) {
      record.m_parms = Single(std::move(parms));
    }
    return record;
  }
  if (filter && filter->IsType(kTypeArray)) {
    const auto& oldFilters = static_cast<const CPDFArray&>(*filter);
    CheckChainLength(oldFilters.Count() + 1);
    record.m_filter = Prepend(std::move(newName), oldFilters);
    CPDFObject* oldParms = storedParms ? stream.GetValue(doc, "DecodeParms") : nullptr;
    if (oldParms && oldParms->IsType(kTypeArray)) {
      record.m_parms =
          Prepend(ParmsOrNull(std::move(parms)), static_cast<const CPDFArray&>(*oldParms));
    } else if (storedParms) {
      record.m_parms = Pair(ParmsOrNull(std::move(parms)), *storedParms);
    } else if (parms) {
      record.m_parms = Single(std::move(parms));
    }
    return record;
  }
  throw FilterEntryRejected{};
}

void CPDFFilterRecord::Commit(CPDFStream& stream) {
  CPDFObjHolder* doc = stream.Doc();
  if (!stream.SetValue(doc, "Filter", std::move(m_filter))) throw FilterEntryRejected{};
  if (m_parms && !stream.SetValue(doc, "DecodeParms", std::move(m_parms))) {
    throw FilterEntryRejected{};
  }
}

}  // namespace quarn
