-- One-time set-up of a fresh instance of scripts/virtuoso-server: the SyncML package, the owner of the
-- collections, one collection per database, the procedures the script calls, and the passwords.
DB.DBA.VAD_INSTALL ('/usr/share/virtuoso-opensource-7/vad/syncml_dav.vad', 0);
DB.DBA.USER_CREATE ('peer', '@PEER_PASSWORD@', vector ('DAV_ENABLE', 1, 'SQL_ENABLE', 0, 'HOME', '/DAV/home/peer/', 'FULL_NAME', 'SyncML test account'));
select DB.DBA.DAV_COL_CREATE ('/DAV/home/peer/', '110100000R', 'peer', 'nogroup', 'dav', 'dav');
select DB.DBA.sync_create_col ('/DAV/home/peer/contacts/', 'vcard_11', '1.1', 'peer', '@PEER_PASSWORD@');
select DB.DBA.sync_create_col ('/DAV/home/peer/events/', 'vcalendar_11', '1.1', 'peer', '@PEER_PASSWORD@');
select DB.DBA.sync_create_col ('/DAV/home/peer/tasks/', 'vcalendar_11', '1.1', 'peer', '@PEER_PASSWORD@');

-- A collection's items as the package stores them (XML fragments), one file per item named by its id.
create procedure DB.DBA.PEER_EXPORT_ITEMS (in col varchar, in folder varchar)
{
  for (select RES_ID, RES_CONTENT from WS.WS.SYS_DAV_RES where RES_COL = DB.DBA.DAV_SEARCH_ID (col, 'C')) do
    string_to_file (sprintf ('%s/%d', folder, RES_ID), blob_to_string (RES_CONTENT), -2);
}
;

-- A server-side change: the item text of file `src` stored as `item`, converted by the package's own
-- reader; marked as the package marks its own uploads, so that its triggers log the change (the next
-- sync sends it as an addition or an update) instead of storing the text again under another name.
create procedure DB.DBA.PEER_PUT_ITEM (in col varchar, in item varchar, in src varchar, in pwd varchar)
{
  declare kind, content any;
  declare rc integer;
  content := DB.DBA.sync_parse_in_data (file_to_string (src), kind);
  if (content is null)
    signal ('22023', 'PEER_PUT_ITEM: neither vCard nor vCalendar text');
  connection_set ('__sync_dav_upl', '1');
  rc := DB.DBA.DAV_RES_UPLOAD (col || item, content, kind, '110100000NM', 'dav', 'administrators', 'dav', pwd);
  connection_set ('__sync_dav_upl', '0');
  if (rc < 0)
    signal ('22023', sprintf ('PEER_PUT_ITEM: DAV_RES_UPLOAD failed with %d', rc));
}
;

create procedure DB.DBA.PEER_DELETE_ITEM (in col varchar, in item varchar, in pwd varchar)
{
  declare rc integer;
  rc := DB.DBA.DAV_DELETE (col || item, 0, 'dav', pwd);
  if (rc < 0)
    signal ('22023', sprintf ('PEER_DELETE_ITEM: DAV_DELETE failed with %d', rc));
}
;

-- Every item of every SyncML collection, and what the package remembers of the devices.
create procedure DB.DBA.PEER_CLEAR ()
{
  delete from WS.WS.SYS_DAV_RES where RES_COL in (select CT_COL_ID from DB.DBA.SYNC_COLS_TYPES);
  delete from DB.DBA.SYNC_MAPS;
  delete from DB.DBA.SYNC_ANCHORS;
  delete from DB.DBA.SYNC_RPLOG;
}
;

USER_CHANGE_PASSWORD ('dav', 'dav', '@DAV_PASSWORD@');
USER_SET_PASSWORD ('dba', '@DBA_PASSWORD@');
