select * from rmenutxt where etime='10:00:00'
or stime='0:00:00'
order by btime
