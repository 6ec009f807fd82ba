// Message maps: static tables that route window messages, commands and notifications to member functions.
//
// Each entry keeps a type-erased pointer to a small function generated for the member it names, so that
// the member is called with its own signature and no member-pointer casts are needed.
#pragma once

class CCmdTarget;
class CWnd;

typedef void (*AFX_PMSG)(void);

enum AfxSig {
  AfxSig_end = 0,
  AfxSig_vv,      // void ()
  AfxSig_hv,      // HCURSOR ()  (WM_QUERYDRAGICON)
  AfxSigCmd_v,    // void ()     command from a menu, accelerator or control notification
  AfxSigNotify_v  // void (NMHDR*, LRESULT*)
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;    // WM_ message
  UINT nCode;       // control notification code or WM_NOTIFY code
  UINT nID;         // control id (or 0 for window messages)
  UINT nLastID;     // used for entries specifying a range of control ids
  UINT_PTR nSig;    // AfxSig_
  AFX_PMSG pfn;     // the generated caller of the member function
};

struct AFX_MSGMAP {
  const AFX_MSGMAP *(PASCAL *pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY *lpEntries;
};

namespace AfxMsgMapCall {
template <typename T>
struct MemberOf;
template <typename C, typename R, typename... A>
struct MemberOf<R (C::*)(A...)> {
  using Class = C;
};
template <auto Fn>
using ClassOf = typename MemberOf<decltype(Fn)>::Class;

template <auto Fn>
void VoidCall(CCmdTarget *target) {
  (static_cast<ClassOf<Fn> *>(target)->*Fn)();
}
template <auto Fn>
HCURSOR CursorCall(CCmdTarget *target) {
  return (static_cast<ClassOf<Fn> *>(target)->*Fn)();
}
template <auto Fn>
void NotifyCall(CCmdTarget *target, NMHDR *header, LRESULT *result) {
  (static_cast<ClassOf<Fn> *>(target)->*Fn)(header, result);
}
template <typename F>
AFX_PMSG Erase(F *function) {
  return reinterpret_cast<AFX_PMSG>(function);
}
}  // namespace AfxMsgMapCall

#define DECLARE_MESSAGE_MAP()                                   \
 protected:                                                     \
  static const AFX_MSGMAP *PASCAL GetThisMessageMap();          \
  virtual const AFX_MSGMAP *GetMessageMap() const;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                          \
  const AFX_MSGMAP *theClass::GetMessageMap() const { return GetThisMessageMap(); }    \
  const AFX_MSGMAP *PASCAL theClass::GetThisMessageMap() {                             \
    using ThisClass [[maybe_unused]] = theClass;                                       \
    typedef baseClass TheBaseClass;                                                    \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                              \
  {0, 0, 0, 0, AfxSig_end, (AFX_PMSG)0}};                                              \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                  \
  }

#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, CN_COMMAND, (WORD)(id), (WORD)(id), AfxSigCmd_v, AfxMsgMapCall::Erase(&AfxMsgMapCall::VoidCall<memberFxn>)},

#define ON_BN_CLICKED(id, memberFxn)                                                                   \
  {WM_COMMAND, (WORD)BN_CLICKED, (WORD)(id), (WORD)(id), AfxSigCmd_v,                                 \
   AfxMsgMapCall::Erase(&AfxMsgMapCall::VoidCall<memberFxn>)},

#define ON_NOTIFY(wNotifyCode, id, memberFxn)                                                         \
  {WM_NOTIFY, (WORD)(int)(wNotifyCode), (WORD)(id), (WORD)(id), AfxSigNotify_v,                       \
   AfxMsgMapCall::Erase(&AfxMsgMapCall::NotifyCall<memberFxn>)},

#define ON_WM_PAINT() \
  {WM_PAINT, 0, 0, 0, AfxSig_vv, AfxMsgMapCall::Erase(&AfxMsgMapCall::VoidCall<&ThisClass::OnPaint>)},

#define ON_WM_QUERYDRAGICON()          \
  {WM_QUERYDRAGICON, 0, 0, 0, AfxSig_hv, \
   AfxMsgMapCall::Erase(&AfxMsgMapCall::CursorCall<&ThisClass::OnQueryDragIcon>)},

#define ON_WM_NCDESTROY() \
  {WM_NCDESTROY, 0, 0, 0, AfxSig_vv, AfxMsgMapCall::Erase(&AfxMsgMapCall::VoidCall<&ThisClass::OnNcDestroy>)},
