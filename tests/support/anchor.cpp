// Shared test helpers live beside this file.
namespace flintcast::testing { void SupportLibraryAnchor() {} }
