#include "vantora/quillon_authoring.h"

#include <atomic>

namespace vantora {

// Forwards the control's events to the wizard's handlers of the moment.
class QuillonAuthoring::Sink final : public quillon::QuillonEvents {
 public:
  void TotalProcessing(double iCurrentPos, double iOverallPos) override {
    if (AuthoringEvents* e = events.load()) e->TotalProcessing(iCurrentPos, iOverallPos);
  }
  void OnCompleted() override {
    if (AuthoringEvents* e = events.load()) e->OnCompleted();
  }
  std::atomic<AuthoringEvents*> events{nullptr};
};

QuillonAuthoring::QuillonAuthoring(quillon::CQuillonCtrl& control)
    : control_(control), sink_(std::make_shared<Sink>()) {
  control_.events().Advise(sink_, &cookie_);
}

QuillonAuthoring::~QuillonAuthoring() {
  if (cookie_ != 0) control_.events().Unadvise(cookie_);
}

void QuillonAuthoring::SetEvents(AuthoringEvents* events) { sink_->events = events; }

}  // namespace vantora
