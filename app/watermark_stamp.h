// The watermark: the first page of another PDF file, or a PNG or JPEG image
// (app/image_watermark.h), made once a run into a form XObject of the output document and drawn on
// every page of its range, under the page's content or, with -up, over it; centred at its natural
// size in the page's visible frame, or stretched to it with -fit, and turned about its centre
// with -wmr. Other kinds of watermark (a line of text) make another form and are placed alike.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/opacity_state.h"
#include "app/page_view.h"
#include "app/stamp.h"
#include "app/watermark_placement.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFFormXObj;

class WatermarkStamp : public Stamp {
 public:
  // `opacity`: none for opaque.
  WatermarkStamp(std::string fileName, bool fit, bool up, std::optional<float> opacity);

  // -wmr: turns the watermark on every page (with -fit, it is kept inside the page).
  void SetTurn(const WatermarkTurn& turn);

  StampPlace Place() const override { return m_up ? StampPlace::kOver : StampPlace::kUnder; }
  bool Made() const override { return m_formRef.IsDefined(); }
  bool Make(StampCanvas& canvas, int32_t page) override;
  bool Draw(StampCanvas& canvas, int32_t page) override;
  void WarnUnseen(CZorvaneApp& app) const override;

 protected:
  // The form the watermark draws, made in the output document; nullptr with its lines written.
  // `watermarkDoc` may receive a document the form reads from, kept open until it is filed.
  virtual std::unique_ptr<CPDFFormXObj> MakeForm(StampCanvas& canvas,
                                                 std::unique_ptr<CPDFDoc>& watermarkDoc);

  WatermarkLayout m_layout;

 private:
  // The form of the first page of the PDF file, made in the output document; `watermarkDoc`
  // receives that file, which must stay open until the form is filed. Nothing, with its lines
  // written, on failure.
  std::unique_ptr<CPDFFormXObj> MakePageForm(StampCanvas& canvas,
                                             std::unique_ptr<CPDFDoc>& watermarkDoc) const;
  // The name under which the current page's resources refer to the form (entered when new).
  bool NameForm(StampCanvas& canvas, std::string& name);
  void PlaceForm(StampCanvas& canvas, CPDFFormXObj& form) const;
  // Where the watermark goes on the current page when that page is shown as readers show it.
  Affine Placement(const PageView& view, const CPDFRect& formBox) const;
  // The "cm" that carries the form (drawn with its own Matrix) to where it belongs on the current
  // page; false when none is needed (the page is shown as the page the form was made on).
  bool Adjustment(const PageView& view, Affine& adjustment) const;

  std::string m_fileName;
  bool m_fit;
  bool m_up;
  CPDFObjRef m_formRef;                   // the form in the output document, once made
  std::string m_madeName;                 // its name on the page it was made on, until drawn
  Affine m_formMatrix = kIdentity;        // its Matrix
  Affine m_formBox = {0, 0, 0, 0, 0, 0};  // its BBox (llx lly urx ury in the first four)
  bool m_formPlain = true;                // made on a plain page
  PageView m_formView;                    // the view of the page it was made on
  std::optional<OpacityState> m_opacity;  // with an opacity other than 1
  UnseenPages m_unseen;
};

}  // namespace quarn
