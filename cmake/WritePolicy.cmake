# Writes the polkit policy of the disk tools that need administrator rights, at install time, so
# that each action names its tool by the path it has in this installation (the prefix given to
# "cmake --install", without DESTDIR: the path the installed program hands to pkexec).
#
# In: VEXLOR_POLICY_FILE (where to write, DESTDIR included), VEXLOR_POLICY_ID (the action prefix),
# VEXLOR_POLICY_HELPER_DIR (the tools' folder in the installed system), VEXLOR_POLICY_TOOLS.
#
# Every action is auth_admin_keep: the administrator password is asked once and kept for a few
# minutes for this program. The first tool's action implies the others, so that one burn (which
# runs diskutil first, then the boot helper) asks once.
set(actions "")
list(GET VEXLOR_POLICY_TOOLS 0 first)
set(others ${VEXLOR_POLICY_TOOLS})
list(REMOVE_AT others 0)
list(TRANSFORM others PREPEND "${VEXLOR_POLICY_ID}.")
list(JOIN others " " implied)
foreach(tool ${VEXLOR_POLICY_TOOLS})
    set(imply "")
    if(tool STREQUAL first AND implied)
        set(imply "\n    <annotate key=\"org.freedesktop.policykit.imply\">${implied}</annotate>")
    endif()
    string(APPEND actions "
  <action id=\"${VEXLOR_POLICY_ID}.${tool}\">
    <description>Prepare a USB disk with Vexlor (${tool})</description>
    <message>Authentication is required to erase and write the USB disk you chose</message>
    <defaults>
      <allow_any>auth_admin_keep</allow_any>
      <allow_inactive>auth_admin_keep</allow_inactive>
      <allow_active>auth_admin_keep</allow_active>
    </defaults>
    <annotate key=\"org.freedesktop.policykit.exec.path\">${VEXLOR_POLICY_HELPER_DIR}/${tool}</annotate>${imply}
  </action>
")
endforeach()
get_filename_component(folder "${VEXLOR_POLICY_FILE}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
file(CHMOD "${folder}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(WRITE "${VEXLOR_POLICY_FILE}" "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD PolicyKit Policy Configuration 1.0//EN\"
 \"http://www.freedesktop.org/standards/PolicyKit/1/policyconfig.dtd\">
<policyconfig>
  <vendor>Vexlor</vendor>
  <vendor_url>https://vexlor.example.org/</vendor_url>
  <icon_name>org.example.vexlor.Vexlor</icon_name>
${actions}</policyconfig>
")
file(CHMOD "${VEXLOR_POLICY_FILE}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
message(STATUS "Installing: ${VEXLOR_POLICY_FILE}")
