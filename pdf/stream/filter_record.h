// The "Filter" and "DecodeParms" entries of a stream after one more encoding. They are worked
// out in full before anything is stored, so that recording a filter cannot fail half way and
// leave data and dictionary disagreeing.
#pragma once

#include <memory>

#include "pdf/object/values.h"

namespace quarn {

class CPDFStream;

class CPDFFilterRecord {
 public:
  // The entries with `name` as the newest (first) filter and `parms` (or none) as its
  // parameters. Throws FilterEntryRejected when "Filter" is neither absent, a name nor an
  // array; CPDFException ("CPDFStream", "EncodeFilter") when the chain would pass
  // limits::kMaxFiltersPerStream or an array cannot grow.
  static CPDFFilterRecord Prepare(const CPDFStream& stream, const char* name,
                                  std::unique_ptr<CPDFObject> parms);
  // Stores the prepared entries; throws FilterEntryRejected when a store fails.
  void Commit(CPDFStream& stream);

 private:
  CPDFFilterRecord() = default;

  std::unique_ptr<CPDFObject> m_filter;
  std::unique_ptr<CPDFObject> m_parms;  // nullptr: "DecodeParms" stays as it is
};

}  // namespace quarn
