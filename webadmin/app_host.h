// The application host administration objects of the web server (version 7 and later): its
// configuration system as COM interfaces. The compiler's Windows headers do not declare them;
// these declarations follow the interfaces' published layout (methods in vtable order; a
// property's get_ and put_ are methods of their own). Only the interfaces this library calls are
// declared in full; the others are named for their pointers.
//
// They live in a named namespace: the compiler must not assume that no implementation of them
// exists, as it may for classes of an anonymous namespace.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <oaidl.h>
#include <unknwn.h>

namespace corvane::webadmin {

// {2B72133B-3F5B-4602-8952-803546CE3344}: the writable administration manager.
constexpr CLSID kWritableAdminManagerClass = {
    0x2B72133B, 0x3F5B, 0x4602, {0x89, 0x52, 0x80, 0x35, 0x46, 0xCE, 0x33, 0x44}};
// {FA7660F6-7B3F-4237-A8BF-ED0AD0DCBBD9}: IAppHostWritableAdminManager.
constexpr IID kWritableAdminManagerInterface = {
    0xFA7660F6, 0x7B3F, 0x4237, {0xA8, 0xBF, 0xED, 0x0A, 0xD0, 0xDC, 0xBB, 0xD9}};

struct IAppHostElement;
struct IAppHostElementCollection;
struct IAppHostProperty;
struct IAppHostMethodCollection;
struct IAppHostMethod;
struct IAppHostMethodInstance;

struct IAppHostAdminManager : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetAdminSection(BSTR section_name, BSTR path,
                                                    IAppHostElement** section) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMetadata(BSTR name, VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMetadata(BSTR name, VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ConfigManager(IUnknown** manager) = 0;
};

struct IAppHostWritableAdminManager : public IAppHostAdminManager {
  virtual HRESULT STDMETHODCALLTYPE CommitChanges() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CommitPath(BSTR* path) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CommitPath(BSTR path) = 0;
};

struct IAppHostElement : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Collection(IAppHostElementCollection** collection) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Properties(IUnknown** properties) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ChildElements(IUnknown** elements) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMetadata(BSTR name, VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMetadata(BSTR name, VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Schema(IUnknown** schema) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetElementByName(BSTR name, IAppHostElement** element) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyByName(BSTR name, IAppHostProperty** property) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Methods(IAppHostMethodCollection** methods) = 0;
};

struct IAppHostElementCollection : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Count(DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IAppHostElement** element) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddElement(IAppHostElement* element, INT position) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteElement(VARIANT index) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateNewElement(BSTR element_name,
                                                     IAppHostElement** element) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Schema(IUnknown** schema) = 0;
};

struct IAppHostProperty : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Value(VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_StringValue(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Exception(IUnknown** exception) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMetadata(BSTR name, VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMetadata(BSTR name, VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Schema(IUnknown** schema) = 0;
};

struct IAppHostMethodCollection : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Count(DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IAppHostMethod** method) = 0;
};

struct IAppHostMethod : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Schema(IUnknown** schema) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IAppHostMethodInstance** instance) = 0;
};

struct IAppHostMethodInstance : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Input(IAppHostElement** input) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Output(IAppHostElement** output) = 0;
  virtual HRESULT STDMETHODCALLTYPE Execute() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMetadata(BSTR name, VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMetadata(BSTR name, VARIANT value) = 0;
};

}  // namespace corvane::webadmin
