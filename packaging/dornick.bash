# bash completion for dornick
_dornick() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -o|--output|/O|/o)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        -f|--forward-name|/FW|/fw|--shard|-j|--jobs)
            return ;;
        --files-from)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
    esac
    case $cur in
        --*)
            COMPREPLY=($(compgen -W '--no-sender-folders --no-date-folders --date-first --no-inline
                --forward-name= --content-only --full-width --date-mode --print --log --output=
                --files-from= --null --shard= --jobs= --recurse --help --version' -- "$cur"))
            [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace
            return ;;
        -*)
            COMPREPLY=($(compgen -W '-S -D -r -i -f -c -w -d -p -l -o -0 -R -h -V --' -- "$cur"))
            return ;;
    esac
    # "/" and up to two letters may be a designed option as well as the start of a path.
    if [[ $cur =~ ^/[A-Za-z]{0,2}$ ]]; then
        COMPREPLY=($(compgen -W '/NN /ND /RF /NI /FW /CO /CW /DM /P /L /O' -- "${cur^^}"))
    fi
    # Mail files, winmail.dat containers and folders.
    local IFS=$'\n'
    COMPREPLY+=($(compgen -d -- "$cur") $(compgen -f -X '!*.@(eml|EML|dat|DAT)' -- "$cur"))
    compopt -o filenames
}
complete -F _dornick dornick
