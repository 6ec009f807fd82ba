/*
 * The DDK's ntifs.h subset that KELVORANT.sys uses beyond ntddk.h: security descriptors in absolute form
 * (pointers to the SIDs and ACLs), built with the Rtl routines, and set on a device through a kernel handle.
 * An ACL is its header followed by its ACEs, each an ACE_HEADER, the access mask and the SID.
 */
#pragma once
#include "ntddk.h"

#ifdef __cplusplus
extern "C" {
#endif

#define STATUS_REVISION_MISMATCH ((NTSTATUS)0xC0000059L)
#define STATUS_UNKNOWN_REVISION ((NTSTATUS)0xC0000058L)
#define STATUS_INVALID_ACL ((NTSTATUS)0xC0000077L)
#define STATUS_INVALID_SID ((NTSTATUS)0xC0000078L)
#define STATUS_INVALID_SECURITY_DESCR ((NTSTATUS)0xC0000079L)
#define STATUS_ALLOTTED_SPACE_EXCEEDED ((NTSTATUS)0xC0000099L)

#define GENERIC_ALL 0x10000000L
#define WRITE_DAC 0x00040000L

typedef struct _SID_IDENTIFIER_AUTHORITY {
  UCHAR Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;
#define SID_REVISION 1
typedef struct _SID {
  UCHAR Revision;
  UCHAR SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  ULONG SubAuthority[1]; /* SubAuthorityCount of them */
} SID, *PISID;
typedef PVOID PSID;

#define ACL_REVISION 2
typedef struct _ACL {
  UCHAR AclRevision;
  UCHAR Sbz1;
  USHORT AclSize; /* bytes, the header and the room for ACEs */
  USHORT AceCount;
  USHORT Sbz2;
} ACL, *PACL;
typedef struct _ACE_HEADER {
  UCHAR AceType;
  UCHAR AceFlags;
  USHORT AceSize;
} ACE_HEADER, *PACE_HEADER;
#define ACCESS_ALLOWED_ACE_TYPE 0
#define ACCESS_DENIED_ACE_TYPE 1
typedef struct _ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  ULONG SidStart; /* the SID begins here */
} ACCESS_ALLOWED_ACE, *PACCESS_ALLOWED_ACE;

typedef USHORT SECURITY_DESCRIPTOR_CONTROL;
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
#define SE_DACL_AUTO_INHERITED 0x0400
#define SE_DACL_PROTECTED 0x1000
#define SE_SELF_RELATIVE 0x8000
#define SECURITY_DESCRIPTOR_REVISION 1
typedef struct _SECURITY_DESCRIPTOR {
  UCHAR Revision;
  UCHAR Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
} SECURITY_DESCRIPTOR, *PISECURITY_DESCRIPTOR;
typedef PVOID PSECURITY_DESCRIPTOR;

typedef ULONG SECURITY_INFORMATION;
#define DACL_SECURITY_INFORMATION 0x00000004L

DECLSPEC_IMPORT NTSTATUS NTAPI RtlCreateSecurityDescriptor(PSECURITY_DESCRIPTOR SecurityDescriptor, ULONG Revision);
DECLSPEC_IMPORT NTSTATUS NTAPI RtlSetDaclSecurityDescriptor(PSECURITY_DESCRIPTOR SecurityDescriptor,
                                                            BOOLEAN DaclPresent, PACL Dacl, BOOLEAN DaclDefaulted);
DECLSPEC_IMPORT NTSTATUS NTAPI RtlCreateAcl(PACL Acl, ULONG AclLength, ULONG AclRevision);
/* Appends an ACE after the ACL's last one; STATUS_ALLOTTED_SPACE_EXCEEDED when AclSize has no room for it. */
DECLSPEC_IMPORT NTSTATUS NTAPI RtlAddAccessAllowedAce(PACL Acl, ULONG AceRevision, ACCESS_MASK AccessMask, PSID Sid);
DECLSPEC_IMPORT ULONG NTAPI RtlLengthSid(PSID Sid);

/* Objects: a device object is the one kind of object this kernel opens by pointer. */
typedef struct _OBJECT_TYPE *POBJECT_TYPE;
typedef struct _ACCESS_STATE *PACCESS_STATE;
DECLSPEC_IMPORT NTSTATUS NTAPI ObOpenObjectByPointer(PVOID Object, ULONG HandleAttributes,
                                                     PACCESS_STATE PassedAccessState, ACCESS_MASK DesiredAccess,
                                                     POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                                                     PHANDLE Handle);
/* Replaces the parts of the object's descriptor that SecurityInformation names; with the DACL comes its
   SE_DACL_PROTECTED bit. The handle must have been opened with WRITE_DAC (WRITE_OWNER for the owner). */
DECLSPEC_IMPORT NTSTATUS NTAPI ZwSetSecurityObject(HANDLE Handle, SECURITY_INFORMATION SecurityInformation,
                                                   PSECURITY_DESCRIPTOR SecurityDescriptor);

#ifdef __cplusplus
}
#endif
