SUMMARY = "Service and factory programs of the e-book reader"
DESCRIPTION = "The display test, touch inspection, touch-panel, sub-CPU, boot mode, \
identity provisioning, past-log and USB hot-plug programs that service technicians \
and factory test engineers run on the reader."
LICENSE = "CLOSED"

# The source tree, from a checkout: in local.conf
#   INHERIT += "externalsrc"
#   EXTERNALSRC:pn-ereader-service-tools = "/path/to/the/source"
# or a SRC_URI of your own (git or a release tarball) with S set to match.
SRC_URI ?= ""
S = "${WORKDIR}/src"

# The cmake class configures with its toolchain file and /usr as the prefix
# and installs with DESTDIR: the source tree's defaults for a cross build
# then make the 15 programs alone, optimised, needing nothing but the
# compiler. The build system splits and strips the debug information
# itself, so the programs are installed as they were linked.
inherit cmake
EXTRA_OECMAKE = "-DREADER_STRIP=OFF"

