################################################################################
#
# hostq
#
################################################################################

HOSTQ_VERSION = 1.0
HOSTQ_TARBALL_SITE = $(call qstrip,$(BR2_PACKAGE_HOSTQ_TARBALL_SITE))
ifeq ($(HOSTQ_TARBALL_SITE),)
# The source tree is the one that holds the HOSTQ external tree: a copy of
# this package in another tree has none to build.
ifeq ($(BR2_PACKAGE_HOSTQ)$(BR2_EXTERNAL_HOSTQ_PATH),y)
$(error hostq: no source tree outside the HOSTQ external tree; set BR2_PACKAGE_HOSTQ_TARBALL_SITE)
endif
HOSTQ_SITE = $(BR2_EXTERNAL_HOSTQ_PATH)/../..
HOSTQ_SITE_METHOD = local
else
HOSTQ_SITE = $(HOSTQ_TARBALL_SITE)
endif
HOSTQ_LICENSE = MIT
HOSTQ_LICENSE_FILES = LICENSE
# A checkout's own build folders are not sources.
HOSTQ_OVERRIDE_SRCDIR_RSYNC_EXCLUSIONS = --exclude=/build --exclude=/results

$(eval $(cmake-package))
