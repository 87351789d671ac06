# Bash completion for pelorin-cli: the commands, each command's options and the values of those
# whose values are a fixed set, and file names filtered to what each command reads.
# Installed as "pelorin-cli" in bash-completion's completions folder, which loads it on demand.
# shellcheck disable=SC2207 # the words offered hold no spaces or wildcards

_pelorin_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    # The command is the first word that is not an option: before it only --help and
    # --version are known, and neither takes a value.
    local command='' i files_only=''
    for ((i = 1; i < cword; i++)); do
        if [[ -z $command ]]; then
            [[ ${words[i]} != -* ]] && command=${words[i]}
        elif [[ ${words[i]} == -- ]]; then
            files_only=1 # after "--" every word is a file
        fi
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W 'convert inspect info decode --help --version' -- "$cur"))
        return
    fi

    local sounds='wav|aif|aiff|aifc|flac|ogg|oga|opus|mp3|caf|w64|au|snd'
    local options inputs
    case $command in
        convert)
            options='--rate --title --copyright --no-save --no-trans --date --variant
                --encoding -o -d -j --jobs --quality --start --length --end --trim-silence
                --trim-silence= --fade-in --fade-out --normalize --normalize= --preview
                --dry-run --help'
            inputs=$sounds
            if [[ -z $files_only ]]; then
                case $prev in
                    --rate)
                        COMPREPLY=($(compgen -W '4000 8000' -- "$cur"))
                        return
                        ;;
                    --variant)
                        COMPREPLY=($(compgen -W '0 1 2' -- "$cur"))
                        return
                        ;;
                    --quality)
                        COMPREPLY=($(compgen -W 'standard high' -- "$cur"))
                        return
                        ;;
                    --encoding)
                        COMPREPLY=($(compgen -W 'cp932 cp1252 utf-8' -- "$cur"))
                        return
                        ;;
                    --date)
                        COMPREPLY=($(compgen -W "$(date +%Y%m%d)" -- "$cur"))
                        return
                        ;;
                    -o)
                        _filedir mmf
                        return
                        ;;
                    -d)
                        _filedir -d
                        return
                        ;;
                    --preview)
                        _filedir wav
                        return
                        ;;
                    --title | --copyright | -j | --jobs | --start | --length | --end | \
                        --fade-in | --fade-out)
                        return # free text, a number or a time
                        ;;
                esac
            fi
            ;;
        inspect)
            options='--json --help'
            inputs=$sounds
            ;;
        info)
            options='--help'
            inputs=mmf
            ;;
        decode)
            options='-o --help'
            inputs=mmf
            if [[ -z $files_only && $prev == -o ]]; then
                _filedir wav
                return
            fi
            ;;
        *)
            return
            ;;
    esac

    # "--trim-silence=" and "--normalize=" take a number; no other option takes "=value".
    [[ $split == true && -z $files_only ]] && return

    if [[ -z $files_only && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        # An option that is given as "--name=value" goes on without a space.
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace
        return
    fi
    _filedir "$inputs"
} &&
    complete -F _pelorin_cli pelorin-cli
