// Late-bound calls by dispatch id. Each automation interface publishes a
// static table of its members {dispatch id, name, kind, parameter types,
// result type}; Invoke checks a call against the table, converts the
// arguments to the declared types and runs the member.
//
// Arguments are given in declaration order (the first parameter first). A
// property put takes the index parameters, if any, followed by the new value.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/variant.h"

namespace platform {

using DispId = std::int32_t;

inline constexpr DispId DISPID_ABOUTBOX = -552;

// The values automation uses for the invoke flags.
enum class DispatchKind : std::uint16_t {
  kMethod = 1,
  kPropertyGet = 2,
  kPropertyPut = 4,
};

struct ParamType {
  VarType type = VarType::kEmpty;
  bool by_ref =
      false;  // an out or in/out parameter: the caller passes a by-reference Variant of exactly `type`

  constexpr ParamType() = default;
  constexpr ParamType(VarType t, bool ref = false) : type(t), by_ref(ref) {}
};

// Shorthand for an out parameter in a member table.
constexpr ParamType Out(VarType t) { return ParamType(t, true); }

struct DispatchMember {
  DispId id = 0;
  std::string name;
  DispatchKind kind = DispatchKind::kMethod;
  std::vector<ParamType> params;
  VarType result = VarType::kEmpty;  // kEmpty: the member returns nothing
};

// Outcome of one late-bound call.
struct InvokeResult {
  HResult hr = S_OK;
  Variant value;  // the member's result, of its declared type (empty when it has none)
  // With DISP_E_EXCEPTION: the member's own failure code and its text.
  HResult scode = S_OK;
  std::string description;
  // With DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW: the 0-based position of the
  // offending argument; -1 otherwise.
  int bad_arg = -1;

  bool ok() const { return Succeeded(hr); }
};

// What a member implementation receives and fills.
struct DispatchCall {
  const DispatchMember& member;
  // The arguments converted to the declared types. By-reference parameters
  // are the caller's own by-reference Variants: write results with Store().
  std::span<const Variant> args;
  Variant result;           // set to the member's result (converted to the declared type afterwards)
  std::string description;  // text for a failure, reported with DISP_E_EXCEPTION
};

// Checks `args` against `member` and converts them. On failure returns the
// error (DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW) and sets
// *bad_arg where an argument is to blame.
HResult PrepareArguments(const DispatchMember& member, std::span<const Variant> args,
                         std::vector<Variant>& out, int* bad_arg);

// An object reachable by dispatch id.
class Dispatchable {
 public:
  virtual ~Dispatchable() = default;

  // Calls member `id` of kind `kind`. Results: DISP_E_MEMBERNOTFOUND for an
  // unknown id or an id without that kind; DISP_E_BADPARAMCOUNT for a wrong
  // argument count; DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW for an argument that
  // cannot be converted; DISP_E_EXCEPTION with `scode` when the member fails.
  // Never throws.
  virtual InvokeResult Invoke(DispId id, DispatchKind kind, std::span<const Variant> args) = 0;

  // The member table.
  virtual std::span<const DispatchMember> Members() const = 0;

  // The dispatch id of a member name (compared without regard to ASCII case);
  // nothing for an unknown name.
  std::optional<DispId> IdOfName(std::string_view name) const;
};

// A static member table bound to implementations on class T. Handlers are
// plain functions (capture-less lambdas) that return S_OK or a failure code.
template <class T>
class DispatchTable {
 public:
  using Handler = HResult (*)(T& self, DispatchCall& call);
  struct Entry {
    DispatchMember member;
    Handler handler;
  };

  DispatchTable(std::initializer_list<Entry> entries) {
    for (const Entry& e : entries) {
      members_.push_back(e.member);
      handlers_.push_back(e.handler);
    }
  }

  std::span<const DispatchMember> Members() const { return members_; }

  const DispatchMember* Find(DispId id, DispatchKind kind) const {
    for (const DispatchMember& m : members_) {
      if (m.id == id && m.kind == kind) return &m;
    }
    return nullptr;
  }

  InvokeResult Invoke(T& self, DispId id, DispatchKind kind, std::span<const Variant> args) const {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      if (members_[i].id == id && members_[i].kind == kind) {
        return InvokeBound(members_[i], args, [&](DispatchCall& call) { return handlers_[i](self, call); });
      }
    }
    InvokeResult r;
    r.hr = DISP_E_MEMBERNOTFOUND;
    return r;
  }

 private:
  template <class F>
  static InvokeResult InvokeBound(const DispatchMember& member, std::span<const Variant> args, F&& run);

  std::vector<DispatchMember> members_;
  std::vector<Handler> handlers_;
};

// Runs one member once its arguments are prepared (non-template part of
// DispatchTable::Invoke). `run` is called with the prepared call and its
// result becomes the member's result; exceptions from it are caught.
InvokeResult InvokeMember(const DispatchMember& member, std::span<const Variant> args,
                          HResult (*run)(void* context, DispatchCall& call), void* context);

template <class T>
template <class F>
InvokeResult DispatchTable<T>::InvokeBound(const DispatchMember& member, std::span<const Variant> args,
                                           F&& run) {
  return InvokeMember(
      member, args,
      [](void* ctx, DispatchCall& call) { return (*static_cast<std::remove_reference_t<F>*>(ctx))(call); },
      static_cast<void*>(&run));
}

}  // namespace platform
