################################################################################
#
# ereader-service-tools
#
################################################################################

# The source tree's own version (the project line of its CMakeLists.txt).
EREADER_SERVICE_TOOLS_VERSION = 0.43
EREADER_SERVICE_TOOLS_SITE = $(call qstrip,$(BR2_PACKAGE_EREADER_SERVICE_TOOLS_SOURCE_DIR))
EREADER_SERVICE_TOOLS_SITE_METHOD = local
EREADER_SERVICE_TOOLS_LICENSE = Proprietary

# The cmake-package infrastructure configures with its toolchain file and
# /usr as the prefix, builds and installs with DESTDIR into the target: the
# source tree's defaults for a cross build then make the 15 programs alone,
# optimised, with no test framework or JSON library on the build machine.
$(eval $(cmake-package))
