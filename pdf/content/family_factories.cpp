#include "pdf/content/family_factories.h"

#include "pdf/content/actions.h"
#include "pdf/content/annotations.h"
#include "pdf/content/color_spaces.h"
#include "pdf/content/fdf.h"
#include "pdf/content/fields.h"
#include "pdf/content/misc_resources.h"
#include "pdf/content/navigation.h"
#include "pdf/content/shadings_patterns.h"
#include "pdf/document/lib_base.h"

namespace quarn {

void RegisterTypedFamilyFactories(CPDFLibBase& lib) {
  // Resource categories (pdf/document/res_dict.h) and the entries of XObjects.
  lib.RegisterResourceFactory("ColorSpace", AsFactory<MakeColorSpace>);
  lib.RegisterResourceFactory("Pattern", AsFactory<MakePattern>);
  lib.RegisterResourceFactory("Shading", AsFactory<MakeShading>);
  RegisterMiscFactories(lib);
  // Entries of pages, the catalog and FDF files, bound when they are first asked for.
  lib.RegisterResourceFactory(kAnnotFactory, AsFactory<MakeAnnotation>);
  lib.RegisterResourceFactory(kFieldFactory, AsFactory<MakeField>);
  lib.RegisterResourceFactory(kActionFactory, AsFactory<MakeAction>);
  lib.RegisterResourceFactory(kAddActFactory, AsFactory<MakeOne<CPDFAddActDict>>);
  lib.RegisterResourceFactory(kDestFactory, AsFactory<MakeDest>);
  lib.RegisterResourceFactory(kOutlinesFactory, AsFactory<MakeOne<CPDFOutlines>>);
  lib.RegisterResourceFactory(kThreadFactory, AsFactory<MakeOne<CPDFThread>>);
  lib.RegisterResourceFactory(kAcroFormFactory, AsFactory<MakeOne<CPDFAcroFormDict>>);
  lib.RegisterResourceFactory(kNameDictFactory, AsFactory<MakeOne<CPDFNameDict>>);
  lib.RegisterResourceFactory(kURIDictFactory, AsFactory<MakeOne<CPDFURIDict>>);
  lib.RegisterResourceFactory(kViewPrefFactory, AsFactory<MakeOne<CPDFViewPref>>);
  lib.RegisterResourceFactory(kNumTreeFactory, AsFactory<MakeOne<CPDFNumTreeNode>>);
  lib.RegisterResourceFactory(kFDFCatalogFactory, AsFactory<MakeFDFCatalog>);
}

}  // namespace quarn
