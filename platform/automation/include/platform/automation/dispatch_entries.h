// Entries of a DispatchTable made from the member functions they call, so a
// table lists each member once: its published description and the function.
//
//   Method<&Class::AddFile>(10, "AddFile", {VarType::kI4, VarType::kString})
//   PropertyGet<&Class::Count>(13, "Count", {}, VarType::kI2)
//   PropertyPut<&Class::SetName>(14, "Name", {VarType::kString})
//
// The arguments are taken from the call in declaration order, as the C++
// types of the function's parameters (std::int16_t, std::int32_t, float,
// double, std::string; a VariantBool parameter is an std::int16_t declared
// kBool). A parameter that is a non-const reference is an out parameter: the
// value the function leaves there is stored through the caller's
// by-reference argument, or, past the declared parameters, becomes the
// member's result (the [out, retval] of a property get). A function that
// returns HResult returns its status; one that returns void gives S_OK; any
// other return value is the member's result (a VariantBool one declared
// kBool). With Describe, a function HResult(*)(HResult) -> const char*, a
// failing status gets Describe's text (when it has one) as the description.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/automation/dispatch.h"

namespace platform {
namespace dispatch_entries {

template <class M>
struct MemberFunction;
template <class C, class R, class... A>
struct MemberFunction<R (C::*)(A...)> {
  using Class = C;
  using Result = R;
  using Args = std::tuple<A...>;
};
template <class C, class R, class... A>
struct MemberFunction<R (C::*)(A...) const> : MemberFunction<R (C::*)(A...)> {};

template <class A>
inline constexpr bool kIsOut = std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>;

template <class T>
inline constexpr bool kUnsupported = false;

template <class A>
std::remove_cvref_t<A> Argument(const DispatchCall& call, std::size_t index) {
  using T = std::remove_cvref_t<A>;
  if constexpr (kIsOut<A>) {
    return T{};
  } else {
    const Variant& v = call.args[index];
    if constexpr (std::is_same_v<T, std::int32_t>) {
      return v.i4();
    } else if constexpr (std::is_same_v<T, std::int16_t>) {
      return v.type() == VarType::kBool ? v.boolean() : v.i2();
    } else if constexpr (std::is_same_v<T, float>) {
      return v.r4();
    } else if constexpr (std::is_same_v<T, double>) {
      return v.r8();
    } else if constexpr (std::is_same_v<T, std::string>) {
      return v.str();
    } else {
      static_assert(kUnsupported<T>, "no Variant type for this parameter");
    }
  }
}

template <class T>
Variant AsDeclared(const T& value, VarType declared) {
  if constexpr (std::is_same_v<T, std::int16_t>) {
    if (declared == VarType::kBool) return Variant::FromVariantBool(value);
  }
  return Variant(value);
}

template <class A, class T>
void StoreOut(DispatchCall& call, std::size_t index, const T& value) {
  if constexpr (kIsOut<A>) {
    if (index < call.args.size()) {
      call.args[index].Store(AsDeclared(value, call.member.params[index].type));
    } else {
      call.result = AsDeclared(value, call.member.result);
    }
  }
}

template <auto M, class... A, std::size_t... I>
HResult Call(typename MemberFunction<decltype(M)>::Class& self, DispatchCall& call, std::tuple<A...>*,
             std::index_sequence<I...>) {
  using R = typename MemberFunction<decltype(M)>::Result;
  std::tuple<std::remove_cvref_t<A>...> values{Argument<A>(call, I)...};
  HResult hr = S_OK;
  if constexpr (std::is_void_v<R>) {
    (self.*M)(std::get<I>(values)...);
  } else if constexpr (std::is_same_v<R, HResult>) {
    hr = (self.*M)(std::get<I>(values)...);
  } else {
    call.result = AsDeclared((self.*M)(std::get<I>(values)...), call.member.result);
  }
  (StoreOut<A>(call, I, std::get<I>(values)), ...);
  return hr;
}

}  // namespace dispatch_entries

// The handler that calls M with the call's arguments (see above).
template <auto M, auto Describe = nullptr>
HResult CallMember(typename dispatch_entries::MemberFunction<decltype(M)>::Class& self, DispatchCall& call) {
  using Args = typename dispatch_entries::MemberFunction<decltype(M)>::Args;
  const HResult hr = dispatch_entries::Call<M>(self, call, static_cast<Args*>(nullptr),
                                               std::make_index_sequence<std::tuple_size_v<Args>>());
  if constexpr (!std::is_same_v<decltype(Describe), std::nullptr_t>) {
    if (Failed(hr)) {
      if (const char* text = Describe(hr); text != nullptr && *text != '\0') call.description = text;
    }
  }
  return hr;
}

template <auto M>
using EntryOf = typename DispatchTable<typename dispatch_entries::MemberFunction<decltype(M)>::Class>::Entry;

template <auto M, auto Describe = nullptr>
EntryOf<M> Method(DispId id, std::string name, std::vector<ParamType> params = {},
                  VarType result = VarType::kEmpty) {
  return {{id, std::move(name), DispatchKind::kMethod, std::move(params), result}, &CallMember<M, Describe>};
}

template <auto M, auto Describe = nullptr>
EntryOf<M> PropertyGet(DispId id, std::string name, std::vector<ParamType> indices, VarType result) {
  return {{id, std::move(name), DispatchKind::kPropertyGet, std::move(indices), result},
          &CallMember<M, Describe>};
}

template <auto M, auto Describe = nullptr>
EntryOf<M> PropertyPut(DispId id, std::string name, std::vector<ParamType> params) {
  return {{id, std::move(name), DispatchKind::kPropertyPut, std::move(params), VarType::kEmpty},
          &CallMember<M, Describe>};
}

}  // namespace platform
