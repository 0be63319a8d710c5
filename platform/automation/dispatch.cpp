#include "platform/automation/dispatch.h"
#include "ascii.h"

#include <exception>
#include <new>

namespace platform {
namespace {

using automation_detail::AsciiIEqual;

}  // namespace

HResult PrepareArguments(const DispatchMember& member, std::span<const Variant> args,
                         std::vector<Variant>& out, int* bad_arg) {
  if (bad_arg) *bad_arg = -1;
  out.clear();
  if (args.size() != member.params.size()) return DISP_E_BADPARAMCOUNT;
  out.reserve(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    const ParamType& p = member.params[i];
    const Variant& a = args[i];
    if (p.by_ref) {
      // Out parameters must be the caller's variable of exactly the declared type.
      if (!a.by_ref() || a.type() != p.type) {
        if (bad_arg) *bad_arg = static_cast<int>(i);
        return DISP_E_TYPEMISMATCH;
      }
      out.push_back(a);
      continue;
    }
    Variant converted;
    const HResult hr = a.ChangeType(p.type, converted);
    if (Failed(hr)) {
      if (bad_arg) *bad_arg = static_cast<int>(i);
      return hr;
    }
    out.push_back(std::move(converted));
  }
  return S_OK;
}

InvokeResult InvokeMember(const DispatchMember& member, std::span<const Variant> args,
                          HResult (*run)(void* context, DispatchCall& call), void* context) {
  InvokeResult r;
  try {
    std::vector<Variant> prepared;
    r.hr = PrepareArguments(member, args, prepared, &r.bad_arg);
    if (Failed(r.hr)) return r;
    DispatchCall call{member, prepared, Variant(), std::string()};
    const HResult hr = run(context, call);
    if (Failed(hr)) {
      r.hr = DISP_E_EXCEPTION;
      r.scode = hr;
      r.description = std::move(call.description);
      return r;
    }
    if (member.result != VarType::kEmpty) {
      const HResult conv = call.result.ChangeType(member.result, r.value);
      if (Failed(conv)) {
        r.hr = DISP_E_EXCEPTION;
        r.scode = conv;
        r.description = "result cannot be converted to " + std::string(VarTypeName(member.result));
        r.value = Variant();
        return r;
      }
    }
    r.hr = hr;
  } catch (const std::bad_alloc&) {
    r = InvokeResult{};
    r.hr = DISP_E_EXCEPTION;
    r.scode = E_OUTOFMEMORY;
    r.description = "out of memory";
  } catch (const std::exception& e) {
    r = InvokeResult{};
    r.hr = DISP_E_EXCEPTION;
    r.scode = E_UNEXPECTED;
    r.description = e.what();
  } catch (...) {
    r = InvokeResult{};
    r.hr = DISP_E_EXCEPTION;
    r.scode = E_UNEXPECTED;
  }
  return r;
}

std::optional<DispId> Dispatchable::IdOfName(std::string_view name) const {
  for (const DispatchMember& m : Members()) {
    if (AsciiIEqual(m.name, name)) return m.id;
  }
  return std::nullopt;
}

}  // namespace platform
